<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="cs_CZ">
<context>
    <name>TSiteToolTip</name>
    <message>
        <source>uplink</source>
        <translation>uplink</translation>
    </message>
    <message>
        <source>přístupový bod</source>
        <translation>access point</translation>
    </message>
    <message>
        <source>místní spojení</source>
        <translation>local link</translation>
    </message>
    <message>
        <source>jmenná služba</source>
        <translation>name service</translation>
    </message>
    <message>
        <source>příčina neznámá</source>
        <translation>cause unknown</translation>
    </message>
    <message>
        <source>Kolo %1 z %2</source>
        <translation>Round %1 of %2</translation>
    </message>
    <message>
        <source>Kolo %1</source>
        <translation>Round %1</translation>
    </message>
    <message>
        <source>%1: běží %2</source>
        <translation>%1: %2 running</translation>
    </message>
    <message>
        <source>%1: %2 za %3</source>
        <translation>%1: %2 in %3</translation>
    </message>
    <message>
        <source>%1: konec za %2</source>
        <translation>%1: ends in %2</translation>
    </message>
    <message>
        <source>Restarty pozastaveny do %1</source>
        <translation>Restarts paused until %1</translation>
    </message>
    <message>
        <source>Restarty čekají na potvrzení nastavení (pingvard --arm)</source>
        <translation>Restarts wait until the settings are confirmed (pingvard --arm)</translation>
    </message>
    <message>
        <source>Další restart nejdříve za %1</source>
        <translation>Next restart in %1 at the earliest</translation>
    </message>
    <message>
        <source>%1 ze %2 hostů odpovídá</source>
        <translation>%1 of %2 hosts answer</translation>
    </message>
    <message>
        <source>Mimo provoz od %1: %2</source>
        <translation>Down since %1: %2</translation>
    </message>
    <message>
        <source>Spojení %1 tohoto počítače nefunguje: bez restartu</source>
        <translation>This machine&apos;s link %1 is down: no restart</translation>
    </message>
    <message>
        <source>Tento počítač nemá cestu k %1: bez restartu</source>
        <translation>This machine has no route to %1: no restart</translation>
    </message>
    <message>
        <source>Naposledy: %1 (%2)</source>
        <translation>Last: %1 (%2)</translation>
    </message>
    <message>
        <source>V pořádku</source>
        <translation>Site up</translation>
    </message>
    <message>
        <source>Omezeno (%1 ze %2)</source>
        <translation>Degraded (%1 of %2)</translation>
    </message>
    <message>
        <source>Výpadek: %1</source>
        <translation>Down: %1</translation>
    </message>
</context>
<context>
    <name>pingvard::TAboutForm</name>
    <message>
        <source>Orvane AP Pingvard</source>
        <translation>Orvane AP Pingvard</translation>
    </message>
    <message>
        <source>verze 1.0</source>
        <translation>version 1.0</translation>
    </message>
    <message>
        <source>datum kompilace: 9.5.2003</source>
        <translation>build date: 9 May 2003</translation>
    </message>
    <message>
        <source>O programu</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>pingvard::TDesktopNotifier</name>
    <message>
        <source>Host %1</source>
        <translation>Host %1</translation>
    </message>
    <message>
        <source>Sledované hosty neodpovídají</source>
        <translation type="vanished">Watched hosts do not answer</translation>
    </message>
    <message>
        <source>Spouští se obnova přístupového bodu.</source>
        <translation type="vanished">Recovery of the access point is starting.</translation>
    </message>
    <message>
        <source>Obnova proběhla</source>
        <translation>Recovery succeeded</translation>
    </message>
    <message>
        <source>Obnova selhala</source>
        <translation>Recovery failed</translation>
    </message>
    <message>
        <source>Obnova %1 proběhla</source>
        <translation>Recovery %1 succeeded</translation>
    </message>
    <message>
        <source>Obnova %1 selhala</source>
        <translation>Recovery %1 failed</translation>
    </message>
    <message>
        <source>%1 neodpovídá</source>
        <translation>%1 does not answer</translation>
    </message>
    <message>
        <source>Host %1 přestal odpovídat na ozvěny.</source>
        <translation>Host %1 stopped answering echoes.</translation>
    </message>
    <message>
        <source>%1 opět odpovídá</source>
        <translation>%1 answers again</translation>
    </message>
    <message>
        <source>Host %1 znovu odpovídá na ozvěny.</source>
        <translation>Host %1 answers echoes again.</translation>
    </message>
    <message>
        <source>Výpadek sítě (%1)</source>
        <translation>Site down (%1)</translation>
    </message>
    <message>
        <source>Neodpovídá: %1</source>
        <translation>Not answering: %1</translation>
    </message>
    <message>
        <source>Restarty pozastaveny do %1</source>
        <translation>Restarts paused until %1</translation>
    </message>
    <message>
        <source>Mimo provoz od %1: %2</source>
        <translation>Down since %1: %2</translation>
    </message>
    <message>
        <source>bez obnovy</source>
        <translation>not cured</translation>
    </message>
    <message>
        <source>obnovil %1</source>
        <translation>cured by %1</translation>
    </message>
    <message>
        <source>Síť opět funguje po %1 (%2)</source>
        <translation>Site back after %1 (%2)</translation>
    </message>
    <message>
        <source>Příčina: %1, kroků obnovy: %2</source>
        <translation>Cause: %1, recovery steps: %2</translation>
    </message>
    <message>
        <source>Spouští se obnova</source>
        <translation>A recovery starts</translation>
    </message>
    <message>
        <source>Spouští se obnova %1</source>
        <translation>Recovery %1 starts</translation>
    </message>
</context>
<context>
    <name>pingvard::THistoryForm</name>
    <message>
        <source>Medián, barva podle ztráty:</source>
        <translation>Median, colour by loss:</translation>
    </message>
    <message>
        <source>0 %</source>
        <translation>0 %</translation>
    </message>
    <message>
        <source>&lt; 2 %</source>
        <translation>&lt; 2 %</translation>
    </message>
    <message>
        <source>&lt; 5 %</source>
        <translation>&lt; 5 %</translation>
    </message>
    <message>
        <source>&lt; 10 %</source>
        <translation>&lt; 10 %</translation>
    </message>
    <message>
        <source>&lt; 25 %</source>
        <translation>&lt; 25 %</translation>
    </message>
    <message>
        <source>&lt; 100 %</source>
        <translation>&lt; 100 %</translation>
    </message>
    <message>
        <source>100 %</source>
        <translation>100 %</translation>
    </message>
    <message>
        <source>rozptyl min–max</source>
        <translation>min–max spread</translation>
    </message>
    <message>
        <source>10.–90. percentil</source>
        <translation>10th–90th percentile</translation>
    </message>
    <message>
        <source>25.–75. percentil</source>
        <translation>25th–75th percentile</translation>
    </message>
    <message>
        <source>výpadek, vše ztraceno</source>
        <translation>outage, all lost</translation>
    </message>
    <message>
        <source>nad osou</source>
        <translation>above the scale</translation>
    </message>
    <message>
        <source>obnova proběhla</source>
        <translation>recovery succeeded</translation>
    </message>
    <message>
        <source>obnova selhala</source>
        <translation>recovery failed</translation>
    </message>
    <message>
        <source>Historie</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Rozsah:</source>
        <translation>Range:</translation>
    </message>
    <message>
        <source>1 hodina</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>24 hodin</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>7 dní</source>
        <translation>7 days</translation>
    </message>
    <message>
        <source>90 dní</source>
        <translation>90 days</translation>
    </message>
    <message>
        <source>Načítání…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>Historie není k dispozici: %1</source>
        <translation>History is not available: %1</translation>
    </message>
    <message>
        <source>jednotlivé ozvěny</source>
        <translation>single echoes</translation>
    </message>
    <message>
        <source>po minutách</source>
        <translation>per minute</translation>
    </message>
    <message>
        <source>po hodinách</source>
        <translation>per hour</translation>
    </message>
</context>
<context>
    <name>pingvard::THistoryGraph</name>
    <message>
        <source>Obnova %1 proběhla</source>
        <translation>Recovery %1 succeeded</translation>
    </message>
    <message>
        <source>Obnova %1 selhala</source>
        <translation>Recovery %1 failed</translation>
    </message>
    <message>
        <source>d. M. yyyy HH:mm:ss</source>
        <translation>d MMM yyyy HH:mm:ss</translation>
    </message>
    <message>
        <source>ozvěn %1, ztraceno %2 %</source>
        <translation>%1 echoes, %2 % lost</translation>
    </message>
    <message>
        <source>Žádná data v tomto rozsahu</source>
        <translation>No data in this range</translation>
    </message>
    <message>
        <source>%1 ms</source>
        <translation>%1 ms</translation>
    </message>
    <message>
        <source>d. M.</source>
        <translation>d MMM</translation>
    </message>
    <message>
        <source>HH:mm</source>
        <translation>HH:mm</translation>
    </message>
    <message>
        <source>%1
odezva %2 ms</source>
        <translation>%1
reply %2 ms</translation>
    </message>
    <message>
        <source>%1
bez odpovědi</source>
        <translation>%1
no reply</translation>
    </message>
    <message>
        <source>%1 – %2
ozvěn %3, ztraceno %4 (%5 %)</source>
        <translation>%1 – %2
%3 echoes, %4 lost (%5 %)</translation>
    </message>
    <message>
        <source>d. M. yyyy HH:mm</source>
        <translation>d MMM yyyy HH:mm</translation>
    </message>
    <message>
        <source>
min %1 ms · medián %2 ms · max %3 ms</source>
        <translation>
min %1 ms · median %2 ms · max %3 ms</translation>
    </message>
    <message>
        <source>
percentily 10/25/75/90: %1 / %2 / %3 / %4 ms</source>
        <translation>
percentiles 10/25/75/90: %1 / %2 / %3 / %4 ms</translation>
    </message>
</context>
<context>
    <name>pingvard::TIncidentList</name>
    <message>
        <source>nedokončeno: program skončil</source>
        <translation>unfinished: the program ended</translation>
    </message>
    <message>
        <source>trvá</source>
        <translation>ongoing</translation>
    </message>
    <message>
        <source>nevyřešeno</source>
        <translation>not cured</translation>
    </message>
    <message>
        <source>vyřešil %1</source>
        <translation>cured by %1</translation>
    </message>
    <message>
        <source>neskončil</source>
        <translation>did not end</translation>
    </message>
    <message>
        <source>proběhl</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>selhal</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>Začátek</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Trvání</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Příčina</source>
        <translation>Cause</translation>
    </message>
    <message>
        <source>Výsledek</source>
        <translation>Outcome</translation>
    </message>
</context>
<context>
    <name>pingvard::TIncidentPanel</name>
    <message>
        <source>Dostupnost za 30 dní:</source>
        <translation>Uptime, last 30 days:</translation>
    </message>
    <message>
        <source>Výpadky (dvojklik: grafy v tu dobu):</source>
        <translation>Incidents (double click: the graphs at that time):</translation>
    </message>
    <message>
        <source>V provozu (ze sledované doby): %1 za 24 h, %2 za 7 dní, %3 za 30 dní</source>
        <translation>Up (of the time watched): %1 last 24 h, %2 last 7 days, %3 last 30 days</translation>
    </message>
</context>
<context>
    <name>pingvard::TChannelsEditor</name>
    <message>
        <source>Kanály oznámení (pošta a web hooky)</source>
        <translation>Notification channels (mail and web hooks)</translation>
    </message>
    <message>
        <source>Kanály oznámení</source>
        <translation>Notification channels</translation>
    </message>
    <message>
        <source>Kam program posílá zprávy o výpadcích</source>
        <translation>Where the program sends messages about outages</translation>
    </message>
    <message>
        <source>Přidat poštu</source>
        <translation>Add mail</translation>
    </message>
    <message>
        <source>Přidá kanál, který posílá e-maily</source>
        <translation>Adds a channel that sends mail</translation>
    </message>
    <message>
        <source>Přidat web hook</source>
        <translation>Add web hook</translation>
    </message>
    <message>
        <source>Přidá kanál, který posílá zprávy na web hook</source>
        <translation>Adds a channel that posts to a web hook</translation>
    </message>
    <message>
        <source>Odebrat kanál</source>
        <translation>Remove channel</translation>
    </message>
    <message>
        <source>Odebere vybraný kanál</source>
        <translation>Removes the selected channel</translation>
    </message>
    <message>
        <source>Kanál nahoru</source>
        <translation>Channel up</translation>
    </message>
    <message>
        <source>Posune vybraný kanál o místo dříve</source>
        <translation>Moves the selected channel one place earlier</translation>
    </message>
    <message>
        <source>Kanál dolů</source>
        <translation>Channel down</translation>
    </message>
    <message>
        <source>Posune vybraný kanál o místo později</source>
        <translation>Moves the selected channel one place later</translation>
    </message>
    <message>
        <source>Jméno:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Jméno kanálu</source>
        <translation>Channel name</translation>
    </message>
    <message>
        <source>Písmena, číslice, - a _</source>
        <translation>Letters, digits, - and _</translation>
    </message>
    <message>
        <source>Server:</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>Poštovní server</source>
        <translation>Mail server</translation>
    </message>
    <message>
        <source>smtp://server:587 nebo smtps://server:465</source>
        <translation>smtp://server:587 or smtps://server:465</translation>
    </message>
    <message>
        <source>Vyžadovat STARTTLS</source>
        <translation>Require STARTTLS</translation>
    </message>
    <message>
        <source>Server, který nenabídne STARTTLS, se odmítne</source>
        <translation>A server that does not offer STARTTLS is refused</translation>
    </message>
    <message>
        <source>Uživatel:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Uživatel poštovního serveru</source>
        <translation>Mail server user</translation>
    </message>
    <message>
        <source>Prázdné: bez přihlášení</source>
        <translation>Empty: no login</translation>
    </message>
    <message>
        <source>Heslo:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Heslo poštovního serveru</source>
        <translation>Mail server password</translation>
    </message>
    <message>
        <source>Nové heslo; nastavené heslo se nikdy neukazuje</source>
        <translation>A new password; the password set is never shown</translation>
    </message>
    <message>
        <source>Od:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>Odesílatel</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>Adresa odesílatele</source>
        <translation>The sender's address</translation>
    </message>
    <message>
        <source>Komu:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>Příjemci</source>
        <translation>Recipients</translation>
    </message>
    <message>
        <source>Adresy oddělené čárkou</source>
        <translation>Addresses separated by commas</translation>
    </message>
    <message>
        <source>Druh web hooku</source>
        <translation>Web hook kind</translation>
    </message>
    <message>
        <source>Tvar zprávy, jak ji služba očekává</source>
        <translation>The message's shape as the service expects it</translation>
    </message>
    <message>
        <source>Druh:</source>
        <translation>Preset:</translation>
    </message>
    <message>
        <source>Adresa URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>Adresa web hooku</source>
        <translation>Web hook URL</translation>
    </message>
    <message>
        <source>http:// nebo https://</source>
        <translation>http:// or https://</translation>
    </message>
    <message>
        <source>Token:</source>
        <translation>Token:</translation>
    </message>
    <message>
        <source>Token web hooku</source>
        <translation>Web hook token</translation>
    </message>
    <message>
        <source>Nový token; nastavený token se nikdy neukazuje</source>
        <translation>A new token; the token set is never shown</translation>
    </message>
    <message>
        <source>Smazat heslo nebo token</source>
        <translation>Clear the password or token</translation>
    </message>
    <message>
        <source>Při OK odstraní nastavené heslo nebo token</source>
        <translation>At OK, removes the password or token set</translation>
    </message>
    <message>
        <source>Kanál pošle zprávu při této události</source>
        <translation>The channel sends a message at this event</translation>
    </message>
    <message>
        <source>Události:</source>
        <translation>Events:</translation>
    </message>
    <message>
        <source>Časový limit kanálu</source>
        <translation>Channel time limit</translation>
    </message>
    <message>
        <source>%1 až %2 s</source>
        <translation>%1 to %2 s</translation>
    </message>
    <message>
        <source>Časový limit [s]:</source>
        <translation>Time limit [s]:</translation>
    </message>
    <message>
        <source>Odeslat zkušební zprávu</source>
        <translation>Send a test message</translation>
    </message>
    <message>
        <source>Pošle jednu zkušební zprávu kanálem, jak je vyplněn</source>
        <translation>Sends one test message through the channel as filled in</translation>
    </message>
    <message>
        <source>Zastavit</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Ukončí odesílání zkušební zprávy</source>
        <translation>Ends sending the test message</translation>
    </message>
    <message>
        <source>Odpověď serveru</source>
        <translation>Server's answer</translation>
    </message>
    <message>
        <source>Co server odpověděl na zkušební zprávu</source>
        <translation>What the server answered to the test message</translation>
    </message>
    <message>
        <source>nastaveno</source>
        <translation>set</translation>
    </message>
    <message>
        <source>Nesprávná hodnota!</source>
        <translation>Invalid value!</translation>
    </message>
    <message>
        <source>Jméno: tento kanál už je</source>
        <translation>Name: this channel exists already</translation>
    </message>
    <message>
        <source>Jméno: písmena, číslice, - a _</source>
        <translation>Name: letters, digits, - and _</translation>
    </message>
    <message>
        <source>Server: smtp:// nebo smtps://</source>
        <translation>Server: smtp:// or smtps://</translation>
    </message>
    <message>
        <source>Od: adresa s @</source>
        <translation>From: an address with @</translation>
    </message>
    <message>
        <source>Komu: adresy s @ oddělené čárkou</source>
        <translation>To: addresses with @ separated by commas</translation>
    </message>
    <message>
        <source>Adresa URL: http:// nebo https://</source>
        <translation>URL: http:// or https://</translation>
    </message>
    <message>
        <source>Token: gotify potřebuje token aplikace</source>
        <translation>Token: gotify needs the application's token</translation>
    </message>
    <message>
        <source>Časový limit: %1 až %2 s</source>
        <translation>Time limit: %1 to %2 s</translation>
    </message>
    <message>
        <source>Události: nejméně jedna</source>
        <translation>Events: at least one</translation>
    </message>
    <message>
        <source>Odesílám: %1</source>
        <translation>Sending: %1</translation>
    </message>
    <message>
        <source>Přijato: %1</source>
        <translation>Accepted: %1</translation>
    </message>
    <message>
        <source>Nedoručeno: %1</source>
        <translation>Not delivered: %1</translation>
    </message>
</context>
<context>
    <name>pingvard::THooksEditor</name>
    <message>
        <source>Háčky</source>
        <translation>Hooks</translation>
    </message>
    <message>
        <source>Programy spouštěné při událostech, v tomto pořadí</source>
        <translation>Programs run on events, in this order</translation>
    </message>
    <message>
        <source>Přidat háček</source>
        <translation>Add hook</translation>
    </message>
    <message>
        <source>Přidá háček na konec</source>
        <translation>Adds a hook at the end</translation>
    </message>
    <message>
        <source>Odebrat háček</source>
        <translation>Remove hook</translation>
    </message>
    <message>
        <source>Odebere vybraný háček</source>
        <translation>Removes the selected hook</translation>
    </message>
    <message>
        <source>Háček nahoru</source>
        <translation>Hook up</translation>
    </message>
    <message>
        <source>Posune vybraný háček o místo dříve</source>
        <translation>Moves the selected hook one place earlier</translation>
    </message>
    <message>
        <source>Háček dolů</source>
        <translation>Hook down</translation>
    </message>
    <message>
        <source>Posune vybraný háček o místo později</source>
        <translation>Moves the selected hook one place later</translation>
    </message>
    <message>
        <source>Jméno háčku</source>
        <translation>Hook name</translation>
    </message>
    <message>
        <source>Písmena, číslice, - a _</source>
        <translation>Letters, digits, - and _</translation>
    </message>
    <message>
        <source>Jméno:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Program háčku</source>
        <translation>Hook program</translation>
    </message>
    <message>
        <source>Spustitelný soubor s celou cestou, bez shellu</source>
        <translation>Executable file with its full path, no shell</translation>
    </message>
    <message>
        <source>Vybrat...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>Vybrat program háčku</source>
        <translation>Choose the hook&apos;s program</translation>
    </message>
    <message>
        <source>Otevře výběr souboru</source>
        <translation>Opens the file chooser</translation>
    </message>
    <message>
        <source>Program:</source>
        <translation>Program:</translation>
    </message>
    <message>
        <source>Argumenty háčku</source>
        <translation>Hook arguments</translation>
    </message>
    <message>
        <source>Každý řádek je jeden argument</source>
        <translation>Each row is one argument</translation>
    </message>
    <message>
        <source>Argumenty (jeden na řádek):</source>
        <translation>Arguments (one per row):</translation>
    </message>
    <message>
        <source>Háček se spustí při této události</source>
        <translation>The hook runs on this event</translation>
    </message>
    <message>
        <source>Události:</source>
        <translation>Events:</translation>
    </message>
    <message>
        <source>Časový limit háčku</source>
        <translation>Hook time limit</translation>
    </message>
    <message>
        <source>%1 až %2 s</source>
        <translation>%1 to %2 s</translation>
    </message>
    <message>
        <source>Časový limit [s]:</source>
        <translation>Time limit [s]:</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Nesprávná hodnota!</source>
        <translation>Invalid value!</translation>
    </message>
    <message>
        <source>Jméno: tento háček už je</source>
        <translation>Name: this hook exists already</translation>
    </message>
    <message>
        <source>Jméno: písmena, číslice, - a _</source>
        <translation>Name: letters, digits, - and _</translation>
    </message>
    <message>
        <source>Program: háček potřebuje program</source>
        <translation>Program: a hook needs a program</translation>
    </message>
    <message>
        <source>Časový limit: %1 až %2 s</source>
        <translation>Time limit: %1 to %2 s</translation>
    </message>
    <message>
        <source>Události: nejméně jedna</source>
        <translation>Events: at least one</translation>
    </message>
</context>
<context>
    <name>pingvard::TMainForm</name>
    <message>
        <source>Orvane AP Pingvard</source>
        <translation>Orvane AP Pingvard</translation>
    </message>
    <message>
        <source>&amp;Skrýt/Zobrazit</source>
        <translation>&amp;Hide/Show</translation>
    </message>
    <message>
        <source>&amp;Ukončit</source>
        <translation>&amp;Exit</translation>
    </message>
    <message>
        <source>&amp;Orvane</source>
        <translation>&amp;Orvane</translation>
    </message>
    <message>
        <source>&amp;Nastavení...</source>
        <translation>&amp;Settings...</translation>
    </message>
    <message>
        <source>&amp;O programu...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source>&amp;Skrýt</source>
        <translation>&amp;Hide</translation>
    </message>
    <message>
        <source>Hostname</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>Ping</source>
        <translation>Ping</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>PL</source>
        <translation>PL</translation>
    </message>
    <message>
        <source>&amp;Restartovat nyní</source>
        <translation>&amp;Restart now</translation>
    </message>
    <message>
        <source>&amp;Historie...</source>
        <translation>&amp;History...</translation>
    </message>
    <message>
        <source>Stav sítě</source>
        <translation>Site state</translation>
    </message>
    <message>
        <source>Stavový řádek</source>
        <translation>Status line</translation>
    </message>
    <message>
        <source>Restartovat</source>
        <translation>Restart</translation>
    </message>
    <message>
        <source>Storno</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Restartovat zařízení nyní?

První akce: %1 (%2) na %3</source>
        <translation>Restart the device now?

First action: %1 (%2) on %3</translation>
    </message>
</context>
<context>
    <name>pingvard::TObservePage</name>
    <message>
        <source>Historie</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Ukládat každou odezvu a obnovu do historie</source>
        <translation>Record every echo and recovery in the history</translation>
    </message>
    <message>
        <source>Metriky pro Prometheus</source>
        <translation>Metrics for Prometheus</translation>
    </message>
    <message>
        <source>Zpřístupnit metriky na /metrics</source>
        <translation>Serve the metrics at /metrics</translation>
    </message>
    <message>
        <source>Adresa:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Povolit naslouchání na všech rozhraních</source>
        <translation>Allow listening on every interface</translation>
    </message>
    <message>
        <source>Oznámení na ploše</source>
        <translation>Desktop notifications</translation>
    </message>
    <message>
        <source>Spouští se obnova</source>
        <translation type="vanished">A recovery starts</translation>
    </message>
    <message>
        <source>Výsledek obnovy</source>
        <translation type="vanished">Outcome of a recovery</translation>
    </message>
    <message>
        <source>Host přestal odpovídat</source>
        <translation>A host stopped answering</translation>
    </message>
    <message>
        <source>Host opět odpovídá</source>
        <translation>A host answers again</translation>
    </message>
    <message>
        <source>Historie a metriky se změní při příštím spuštění programu.</source>
        <translation type="vanished">History and metrics change at the next start of the program.</translation>
    </message>
    <message>
        <source>Háčky: žádné (nastavují se v pingvard.ini).</source>
        <translation type="vanished">Hooks: none (they are set in pingvard.ini).</translation>
    </message>
    <message>
        <source>Háčky (nastavují se v pingvard.ini): %1</source>
        <translation type="vanished">Hooks (set in pingvard.ini): %1</translation>
    </message>
    <message>
        <source>Výpadek sítě, pozastavení restartů a návrat</source>
        <translation>Site down, restarts paused, site back</translation>
    </message>
    <message>
        <source>Začátek a výsledek každé obnovy</source>
        <translation>Start and outcome of each recovery</translation>
    </message>
    <message>
        <source>Odezvy a obnovy se ukládají do databáze historie</source>
        <translation>Echoes and recoveries are stored in the history database</translation>
    </message>
    <message>
        <source>Program odpovídá na dotazy Promethea</source>
        <translation>The program answers Prometheus&apos;s queries</translation>
    </message>
    <message>
        <source>Číselná adresa IPv4 nebo IPv6, na které program naslouchá</source>
        <translation>Numeric IPv4 or IPv6 address the program listens on</translation>
    </message>
    <message>
        <source>Port, na kterém program naslouchá</source>
        <translation>Port the program listens on</translation>
    </message>
    <message>
        <source>Nutné pro adresu 0.0.0.0 nebo ::</source>
        <translation>Needed for the address 0.0.0.0 or ::</translation>
    </message>
    <message>
        <source>Oznámení na ploše při výpadku sítě</source>
        <translation>A desktop notification when the site is down</translation>
    </message>
    <message>
        <source>Oznámení na ploše při každé obnově</source>
        <translation>A desktop notification at each recovery</translation>
    </message>
    <message>
        <source>Oznámení na ploše, když host přestane odpovídat</source>
        <translation>A desktop notification when a host stops answering</translation>
    </message>
    <message>
        <source>Oznámení na ploše, když host opět odpovídá</source>
        <translation>A desktop notification when a host answers again</translation>
    </message>
    <message>
        <source>Adresa metrik</source>
        <translation>Metrics address</translation>
    </message>
    <message>
        <source>Port metrik</source>
        <translation>Metrics port</translation>
    </message>
    <message>
        <source>Historie, metriky, háčky a kanály oznámení se změní při příštím spuštění programu.</source>
        <translation>History, metrics, hooks and notification channels change at the next start of the program.</translation>
    </message>
</context>
<context>
    <name>pingvard::TRecoveryPage</name>
    <message>
        <source>Obnova zařízení</source>
        <translation>Recovery</translation>
    </message>
    <message>
        <source>Kolik sledovaných adres musí selhat (0 = všechny):</source>
        <translation>Marked hosts that must fail (0 = all):</translation>
    </message>
    <message>
        <source>Prodleva po každém zásahu [s]:</source>
        <translation>Hold-off after each action [s]:</translation>
    </message>
    <message>
        <source>Nejvýše kol v okně (0 = bez omezení):</source>
        <translation>At most rounds per window (0 = no limit):</translation>
    </message>
    <message>
        <source>Okno [s]:</source>
        <translation>Window [s]:</translation>
    </message>
    <message>
        <source>Zdvojnásobit prodlevu po každém neúspěšném kole</source>
        <translation>Double the hold-off after each round that did not cure</translation>
    </message>
    <message>
        <source>Akce</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>Druh</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Limit [s]</source>
        <translation>Limit [s]</translation>
    </message>
    <message>
        <source>Ověření [s]</source>
        <translation>Verify [s]</translation>
    </message>
    <message>
        <source>Doporučeno pro připojení DSL nebo LTE: prodleva 300 s, nejvýše 6 kol za 86400 s, zdvojování zapnuto, ověření 180 s a více. Akce, jejich adresy a hesla se zadávají v souboru pingvard.ini.</source>
        <translation type="vanished">Recommended for a DSL or LTE uplink: hold-off 300 s, at most 6 rounds per 86400 s, doubling on, verify 180 s or more. The actions, their addresses and passwords are set in pingvard.ini.</translation>
    </message>
    <message>
        <source>Storno</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Nesprávná hodnota!</source>
        <translation>Invalid value!</translation>
    </message>
    <message>
        <source>%1 až %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>žádná</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Připojí se k adrese restartovaného zařízení (hlavní okno nastavení) a přehraje skript ze souboru pingvard.ini.</source>
        <translation>Connects to the reset host (main settings window) and plays the script from pingvard.ini.</translation>
    </message>
    <message>
        <source>Doporučeno pro připojení DSL nebo LTE: prodleva 300 s, nejvýše 6 kol za 86400 s, zdvojování zapnuto, ověření 180 s a více.</source>
        <translation>Advised for DSL or LTE links: hold-off 300 s, at most 6 rounds in 86400 s, back-off on, verify 180 s or more.</translation>
    </message>
    <message>
        <source>Zkontroluje a převezme nastavení obnovy</source>
        <translation>Checks and takes the recovery settings</translation>
    </message>
    <message>
        <source>Zavře stránku bez převzetí změn</source>
        <translation>Closes the page without taking the changes</translation>
    </message>
    <message>
        <source>Klíč serveru</source>
        <translation>Server key</translation>
    </message>
    <message>
        <source>Server se představil klíčem
%1
Odpovídá klíči, který ukazuje zařízení samo? Jen pak jej připněte.</source>
        <translation>The server presented the key
%1
Does it match the key the device itself shows? Pin it only then.</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Ochrana před opakováním:</source>
        <translation>Guard against repeating:</translation>
    </message>
    <message>
        <source>Po kole, které zařízení neobnovilo, se prodleva zdvojnásobí</source>
        <translation>After a round that did not bring the device back, the hold-off doubles</translation>
    </message>
    <message>
        <source>Akce v pořadí eskalace:</source>
        <translation>Actions in escalation order:</translation>
    </message>
    <message>
        <source>Akce v pořadí, v jakém se zkoušejí; jméno, limit a ověření lze přepsat</source>
        <translation>Actions in the order they are tried; name, limit and verify can be edited</translation>
    </message>
    <message>
        <source>Druh nové akce</source>
        <translation>Kind of the new action</translation>
    </message>
    <message>
        <source>telnet, ssh, http nebo program</source>
        <translation>telnet, ssh, http or program</translation>
    </message>
    <message>
        <source>&amp;Přidat</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>Přidá akci zvoleného druhu na konec</source>
        <translation>Adds an action of the chosen kind at the end</translation>
    </message>
    <message>
        <source>&amp;Odebrat</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>Odebere vybranou akci</source>
        <translation>Removes the selected action</translation>
    </message>
    <message>
        <source>Na&amp;horu</source>
        <translation>&amp;Up</translation>
    </message>
    <message>
        <source>Posune vybranou akci o místo dříve</source>
        <translation>Moves the selected action one place earlier</translation>
    </message>
    <message>
        <source>Do&amp;lů</source>
        <translation>&amp;Down</translation>
    </message>
    <message>
        <source>Posune vybranou akci o místo později</source>
        <translation>Moves the selected action one place later</translation>
    </message>
    <message>
        <source>SSH:</source>
        <translation>SSH:</translation>
    </message>
    <message>
        <source>Adresa zařízení:</source>
        <translation>Device address:</translation>
    </message>
    <message>
        <source>Jméno nebo IP adresa serveru SSH</source>
        <translation>Name or IP address of the SSH server</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Soubor s klíčem:</source>
        <translation>Key file:</translation>
    </message>
    <message>
        <source>Soukromý klíč bez hesla, chmod 600; prázdné = přihlášení heslem</source>
        <translation>Private key without a passphrase, chmod 600; empty = log in with the password</translation>
    </message>
    <message>
        <source>Příkaz:</source>
        <translation>Command:</translation>
    </message>
    <message>
        <source>Co zařízení provede, obvykle reboot</source>
        <translation>What the device runs, usually reboot</translation>
    </message>
    <message>
        <source>Klíč serveru:</source>
        <translation>Server key:</translation>
    </message>
    <message>
        <source>Připnutý otisk klíče serveru; prázdné = soubor known_hosts</source>
        <translation>Pinned fingerprint of the server&apos;s key; empty = the known_hosts file</translation>
    </message>
    <message>
        <source>&amp;Načíst klíč</source>
        <translation>&amp;Fetch key</translation>
    </message>
    <message>
        <source>Načíst klíč</source>
        <translation>Fetch key</translation>
    </message>
    <message>
        <source>Spojí se se serverem, ukáže otisk jeho klíče a po potvrzení jej připne</source>
        <translation>Connects to the server, shows its key&apos;s fingerprint and pins it once confirmed</translation>
    </message>
    <message>
        <source>HTTP:</source>
        <translation>HTTP:</translation>
    </message>
    <message>
        <source>Předvolba zásuvky:</source>
        <translation>Plug preset:</translation>
    </message>
    <message>
        <source>Druh chytré zásuvky; žádná = požadavek zadaný celý</source>
        <translation>Kind of smart plug; none = the request given whole</translation>
    </message>
    <message>
        <source>Adresa zásuvky:</source>
        <translation>Plug address:</translation>
    </message>
    <message>
        <source>Jméno nebo IP adresa zásuvky</source>
        <translation>Name or IP address of the plug</translation>
    </message>
    <message>
        <source>Port (0 = výchozí):</source>
        <translation>Port (0 = default):</translation>
    </message>
    <message>
        <source>HTTPS</source>
        <translation>HTTPS</translation>
    </message>
    <message>
        <source>Spojení šifrované TLS</source>
        <translation>Connection encrypted with TLS</translation>
    </message>
    <message>
        <source>Kanál:</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>Doba vypnutí [s]:</source>
        <translation>Off time [s]:</translation>
    </message>
    <message>
        <source>Připnutý klíč:</source>
        <translation>Pinned key:</translation>
    </message>
    <message>
        <source>Veřejný klíč serveru HTTPS jako sha256//BASE64; prázdné = certifikační autority</source>
        <translation>The HTTPS server&apos;s public key as sha256//BASE64; empty = the certificate authorities</translation>
    </message>
    <message>
        <source>Metoda:</source>
        <translation>Method:</translation>
    </message>
    <message>
        <source>GET nebo POST, bez předvolby</source>
        <translation>GET or POST, without a preset</translation>
    </message>
    <message>
        <source>URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>Celá adresa požadavku, bez předvolby</source>
        <translation>The request&apos;s whole address, without a preset</translation>
    </message>
    <message>
        <source>Tělo:</source>
        <translation>Body:</translation>
    </message>
    <message>
        <source>Tělo požadavku, bez předvolby</source>
        <translation>The request&apos;s body, without a preset</translation>
    </message>
    <message>
        <source>Očekávaný stav:</source>
        <translation>Expected status:</translation>
    </message>
    <message>
        <source>Program:</source>
        <translation>Program:</translation>
    </message>
    <message>
        <source>&amp;Vybrat...</source>
        <translation>&amp;Browse...</translation>
    </message>
    <message>
        <source>Vybrat program</source>
        <translation>Choose the program</translation>
    </message>
    <message>
        <source>Otevře výběr souboru</source>
        <translation>Opens the file chooser</translation>
    </message>
    <message>
        <source>Spustitelný soubor s celou cestou</source>
        <translation>Executable file with its full path</translation>
    </message>
    <message>
        <source>Argumenty (jeden na řádek):</source>
        <translation>Arguments (one per row):</translation>
    </message>
    <message>
        <source>Každý řádek je jeden argument, bez shellu</source>
        <translation>Each row is one argument, no shell</translation>
    </message>
    <message>
        <source>Přihlášení:</source>
        <translation>Login:</translation>
    </message>
    <message>
        <source>Uživatel:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>Jméno pro přihlášení k zařízení</source>
        <translation>Name to log in to the device</translation>
    </message>
    <message>
        <source>Heslo:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Nové heslo; nastavené heslo se nikdy neukazuje</source>
        <translation>A new password; the one set is never shown</translation>
    </message>
    <message>
        <source>Smazat heslo</source>
        <translation>Clear the password</translation>
    </message>
    <message>
        <source>Při OK odstraní nastavené heslo</source>
        <translation>Removes the password set, at OK</translation>
    </message>
    <message>
        <source>Soubor s heslem:</source>
        <translation>Password file:</translation>
    </message>
    <message>
        <source>Heslo se uloží do tohoto souboru (chmod 600); prázdné = do pingvard.ini</source>
        <translation>The password is stored in this file (chmod 600); empty = in pingvard.ini</translation>
    </message>
    <message>
        <source>Zkouška:</source>
        <translation>Test:</translation>
    </message>
    <message>
        <source>&amp;Vyzkoušet</source>
        <translation>&amp;Test</translation>
    </message>
    <message>
        <source>Vyzkoušet</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Jednou provede vybranou akci tak, jak je zadaná</source>
        <translation>Runs the selected action once, as entered</translation>
    </message>
    <message>
        <source>&amp;Zastavit</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>Zastavit</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Přeruší probíhající zkoušku</source>
        <translation>Stops the test under way</translation>
    </message>
    <message>
        <source>Průběh zkoušky</source>
        <translation>Test progress</translation>
    </message>
    <message>
        <source>Kroky a výsledek poslední zkoušky</source>
        <translation>Steps and outcome of the last test</translation>
    </message>
    <message>
        <source>nastaveno</source>
        <translation>set</translation>
    </message>
    <message>
        <source>Akce: jméno z písmen, číslic, - a _, každé jen jednou</source>
        <translation>Action: a name of letters, digits, - and _, each once</translation>
    </message>
    <message>
        <source>Zkouška akce %1 (%2)</source>
        <translation>Testing action %1 (%2)</translation>
    </message>
    <message>
        <source>Načítám klíč serveru %1...</source>
        <translation>Fetching the key of server %1...</translation>
    </message>
    <message>
        <source>Výsledek: úspěch - </source>
        <translation>Outcome: success - </translation>
    </message>
    <message>
        <source>Výsledek: chyba - </source>
        <translation>Outcome: failure - </translation>
    </message>
    <message>
        <source>Klíč se nepodařilo načíst: </source>
        <translation>Could not fetch the key: </translation>
    </message>
    <message>
        <source>Klíč serveru: </source>
        <translation>Server key: </translation>
    </message>
    <message>
        <source>Klíč připnut.</source>
        <translation>Key pinned.</translation>
    </message>
    <message>
        <source>Klíč nepřipnut.</source>
        <translation>Key not pinned.</translation>
    </message>
    <message>
        <source>Zastavuji...</source>
        <translation>Stopping...</translation>
    </message>
</context>
<context>
    <name>pingvard::TSettingsForm</name>
    <message>
        <source>Adresa %1</source>
        <translation>Address %1</translation>
    </message>
    <message>
        <source>Nastavení</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Interval pro zkoušení spojení [ms]:</source>
        <translation>Interval between pings [ms]:</translation>
    </message>
    <message>
        <source>Maximální dovolený počet výpadků:</source>
        <translation>Maximum failures in a row:</translation>
    </message>
    <message>
        <source>Adresa restartovaného zařízení:</source>
        <translation>Address of the device to restart:</translation>
    </message>
    <message>
        <source>IP adresa:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Zobrazované jméno:</source>
        <translation>Display name:</translation>
    </message>
    <message>
        <source>Jak dlouho čekat na odezvu [ms]:</source>
        <translation>How long to wait for a reply [ms]:</translation>
    </message>
    <message>
        <source>Konstanty:</source>
        <translation>Constants:</translation>
    </message>
    <message>
        <source>Restartování zařízení:</source>
        <translation>Restarting the device:</translation>
    </message>
    <message>
        <source>Hlídané IP adresy:</source>
        <translation>Watched IP addresses:</translation>
    </message>
    <message>
        <source>Adresa je testována:</source>
        <translation>The address is tested:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Storno</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Nesprávná hodnota!</source>
        <translation>Invalid value!</translation>
    </message>
    <message>
        <source>&amp;Obnova...</source>
        <translation>&amp;Recovery...</translation>
    </message>
    <message>
        <source>&amp;Sledování...</source>
        <translation>&amp;Observers...</translation>
    </message>
    <message>
        <source>Sledování</source>
        <translation>Observers</translation>
    </message>
    <message>
        <source>nejméně %1</source>
        <translation>at least %1</translation>
    </message>
    <message>
        <source>nejvýše %1</source>
        <translation>at most %1</translation>
    </message>
    <message>
        <source>Jméno %1 nelze přeložit na IP adresu</source>
        <translation>The name %1 does not resolve to an IP address</translation>
    </message>
    <message>
        <source>Ponechat je?</source>
        <translation>Keep it?</translation>
    </message>
    <message>
        <source>Jméno nebo IP adresa hlídaného hosta</source>
        <translation>Name or IP address of the watched host</translation>
    </message>
    <message>
        <source>Který ze čtyř hlídaných hostů se upravuje</source>
        <translation>Which of the four watched hosts is edited</translation>
    </message>
    <message>
        <source>Jméno nebo IP adresa zařízení, které se restartuje</source>
        <translation>Name or IP address of the device that is restarted</translation>
    </message>
    <message>
        <source>Jméno, které ukazuje hlavní okno</source>
        <translation>The name the main window shows</translation>
    </message>
    <message>
        <source>Výpadek této adresy se počítá pro restart</source>
        <translation>A failure of this address counts for a restart</translation>
    </message>
    <message>
        <source>Zkontroluje, převezme a uloží nastavení</source>
        <translation>Checks, takes and saves the settings</translation>
    </message>
    <message>
        <source>Zavře okno bez převzetí změn</source>
        <translation>Closes the window without taking the changes</translation>
    </message>
    <message>
        <source>Akce obnovy, jejich pořadí a ochrana před opakováním</source>
        <translation>Recovery actions, their order and the guard against repeating</translation>
    </message>
    <message>
        <source>Historie, metriky, háčky a oznámení</source>
        <translation>History, metrics, hooks and notifications</translation>
    </message>
    <message>
        <source>Neznámé jméno</source>
        <translation>Unknown name</translation>
    </message>
</context>
<context>
    <name>pingvard::TUptimeStrip</name>
    <message>
        <source>bez dat</source>
        <translation>no data</translation>
    </message>
    <message>
        <source>%1: nesledováno</source>
        <translation>%1: not watched</translation>
    </message>
    <message>
        <source>%1: v provozu %2, výpadky %3 z %4 sledování</source>
        <translation>%1: up %2, down %3 of %4 watched</translation>
    </message>
</context>
</TS>

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
        <translation>History and metrics change at the next start of the program.</translation>
    </message>
    <message>
        <source>Háčky: žádné (nastavují se v pingvard.ini).</source>
        <translation>Hooks: none (they are set in pingvard.ini).</translation>
    </message>
    <message>
        <source>Háčky (nastavují se v pingvard.ini): %1</source>
        <translation>Hooks (set in pingvard.ini): %1</translation>
    </message>
    <message>
        <source>Výpadek sítě, pozastavení restartů a návrat</source>
        <translation>Site down, restarts paused, site back</translation>
    </message>
    <message>
        <source>Začátek a výsledek každé obnovy</source>
        <translation>Start and outcome of each recovery</translation>
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
        <translation>Recommended for a DSL or LTE uplink: hold-off 300 s, at most 6 rounds per 86400 s, doubling on, verify 180 s or more. The actions, their addresses and passwords are set in pingvard.ini.</translation>
    </message>
    <message>
        <source>Storno</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Nesprávná hodnota!</source>
        <translation>Invalid value!</translation>
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

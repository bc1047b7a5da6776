// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tray/site_tooltip.h"

#include "rounds/site_text.h"

#include <QStringList>

namespace pingvard {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QString Clock(int64_t ms) {
    return Text(LocalClockText(ms));
}

QString Elapsed(int64_t ms) {
    return Text(ElapsedText(ms));
}

} // namespace

QString TSiteToolTip::CauseText(TSiteCause cause) {
    switch (cause) {
    case TSiteCause::Uplink:
        return tr("uplink");
    case TSiteCause::AccessPoint:
        return tr("přístupový bod");
    case TSiteCause::LocalLink:
        return tr("místní spojení");
    case TSiteCause::NameService:
        return tr("jmenná služba");
    case TSiteCause::Unknown:
        break;
    }
    return tr("příčina neznámá");
}

QString TSiteToolTip::Round(const TSiteView& site) {
    if (site.Round <= 0) {
        return {};
    }
    const QString round = site.MaxRounds > 0
                              ? tr("Kolo %1 z %2").arg(site.Round).arg(site.MaxRounds)
                              : tr("Kolo %1").arg(site.Round);
    if (site.ActionRunning) {
        return tr("%1: běží %2").arg(round, Text(site.RunningAction));
    }
    if (site.Verifying && !site.NextAction.empty()) {
        return tr("%1: %2 za %3").arg(round, Text(site.NextAction), Elapsed(site.NextInMs));
    }
    if (site.Verifying) {
        return tr("%1: konec za %2").arg(round, Elapsed(site.NextInMs));
    }
    return round;
}

QString TSiteToolTip::Guard(const TSiteView& site) {
    if (site.AwaitingConfirmation) {
        return tr("Restarty čekají na potvrzení nastavení (pingvard --arm)");
    }
    if (site.PausedUntilMs > 0) {
        return tr("Restarty pozastaveny do %1").arg(Clock(site.PausedUntilMs));
    }
    if (site.HoldOffMs > 0 && site.State == TSiteState::Down && site.Round <= 0) {
        return tr("Další restart nejdříve za %1").arg(Elapsed(site.HoldOffMs));
    }
    return {};
}

QString TSiteToolTip::ToolTip(const TSiteView& site) {
    QStringList lines;
    lines << tr("%1 ze %2 hostů odpovídá").arg(site.Answering).arg(site.Watched);
    if (site.State == TSiteState::Down) {
        lines << tr("Mimo provoz od %1: %2").arg(Clock(site.DownSinceMs), CauseText(site.Cause));
    }
    if (site.HeldBy.Kind == TLinkState::TKind::NoCarrier) {
        lines << tr("Spojení %1 tohoto počítače nefunguje: bez restartu")
                     .arg(Text(site.HeldBy.Interface));
    } else if (site.HeldBy.Kind == TLinkState::TKind::NoRoute) {
        lines << tr("Tento počítač nemá cestu k %1: bez restartu").arg(Text(site.HeldAddress));
    }
    for (const QString& line : {Round(site), Guard(site)}) {
        if (!line.isEmpty()) {
            lines << line;
        }
    }
    if (site.LastOutcomeMs > 0) {
        // The outcome texts are the status line's, English in both languages.
        lines << tr("Naposledy: %1 (%2)").arg(Text(site.LastOutcome), Clock(site.LastOutcomeMs));
    }
    return lines.join('\n');
}

QString TSiteToolTip::StateField(const TSiteView& site) {
    switch (site.State) {
    case TSiteState::Up:
        return tr("V pořádku");
    case TSiteState::Degraded:
        return tr("Omezeno (%1 ze %2)").arg(site.Answering).arg(site.Watched);
    case TSiteState::Down:
        break;
    }
    return tr("Výpadek: %1").arg(CauseText(site.Cause));
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/reset_outcomes.h"

#include "logs/event_log.h"
#include "logs/local_timestamp.h"

namespace pingvard {

void ShowTrayImage(TMonitorFrontEnd& fe, int image) {
    if (fe.TrayIconIndex() != image) {
        fe.SetTrayIconIndex(image);
        fe.CopyTrayImageToApplicationIcon();
    }
}

void ShowResetStarting(TMonitorFrontEnd& fe, const std::string& text,
                       std::optional<int> trayImage) {
    fe.SetStatusText(text.empty() ? "Trying to reset..." : text);
    if (trayImage) {
        ShowTrayImage(fe, *trayImage);
    } else if (fe.TrayIconIndex() == kTrayNormal) {
        fe.SetTrayIconIndex(kTrayResetting);
        fe.CopyTrayImageToApplicationIcon();
    }
}

void ShowResetOutcome(TMonitorFrontEnd& fe, const TRecoveryOutcome& outcome,
                      std::optional<int> trayImage) {
    fe.SetStatusText(outcome.Ok ? outcome.Status + " - " + LocalTimestamp() : outcome.Status);
    if (!outcome.Status.empty()) {
        WriteLog(outcome.Status);
    }
    fe.SetTrayIconIndex(trayImage.value_or(outcome.Ok ? kTrayNormal : kTrayFailed));
    fe.CopyTrayImageToApplicationIcon();
}

} // namespace pingvard

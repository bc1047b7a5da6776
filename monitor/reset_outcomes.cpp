// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/reset_outcomes.h"

#include "logs/event_log.h"
#include "logs/local_timestamp.h"

namespace pingvard {

void ShowResetStarting(TMonitorFrontEnd& fe, const std::string& text) {
    fe.SetStatusText(text.empty() ? "Trying to reset..." : text);
    if (fe.TrayIconIndex() == kTrayNormal) {
        fe.SetTrayIconIndex(kTrayResetting);
        fe.CopyTrayImageToApplicationIcon();
    }
}

void ShowResetOutcome(TMonitorFrontEnd& fe, const TRecoveryOutcome& outcome) {
    fe.SetStatusText(outcome.Ok ? outcome.Status + " - " + LocalTimestamp() : outcome.Status);
    if (!outcome.Status.empty()) {
        WriteLog(outcome.Status);
    }
    fe.SetTrayIconIndex(outcome.Ok ? kTrayNormal : kTrayFailed);
    fe.CopyTrayImageToApplicationIcon();
}

} // namespace pingvard

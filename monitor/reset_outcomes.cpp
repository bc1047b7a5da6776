// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/reset_outcomes.h"

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

void ShowLogged(TMonitorFrontEnd& fe, TEventLog& log, const std::string& status,
                const std::string& line) {
    fe.SetStatusText(status);
    if (line.empty()) {
        return;
    }
    if (const auto change = log.Write(line)) {
        if (change->Failing) {
            fe.SetStatusText(status + "; " + change->Text);
        }
        fe.ReportProblem(change->Text);
    }
}

void ShowResetOutcome(TMonitorFrontEnd& fe, TEventLog& log, const TRecoveryOutcome& outcome,
                      std::optional<int> trayImage) {
    ShowLogged(fe, log, outcome.Ok ? outcome.Status + " - " + LocalTimestamp() : outcome.Status,
               outcome.Status);
    fe.SetTrayIconIndex(trayImage.value_or(outcome.Ok ? kTrayNormal : kTrayFailed));
    fe.CopyTrayImageToApplicationIcon();
}

} // namespace pingvard

#include "monitor/reset_outcomes.h"

#include "monitor/event_log.h"

namespace pingvard {

namespace {

void ShowOutcome(TMonitorFrontEnd& fe, const std::string& status, const std::string& logText,
                 int trayIndex) {
    fe.SetStatusText(status);
    WriteLog(logText);
    fe.SetTrayIconIndex(trayIndex);
    fe.CopyTrayImageToApplicationIcon();
}

} // namespace

void ShowResetStarting(TMonitorFrontEnd& fe) {
    fe.SetStatusText("Trying to reset...");
    // A failure image stays up until a session succeeds.
    if (fe.TrayIconIndex() == kTrayNormal) {
        fe.SetTrayIconIndex(kTrayResetting);
        fe.CopyTrayImageToApplicationIcon();
    }
}

void ShowConnectFailed(TMonitorFrontEnd& fe, const std::string& resetHost) {
    const std::string text = "Unable to reset, cannot connect to " + resetHost;
    ShowOutcome(fe, text, text, kTrayFailed);
}

void ShowResetOk(TMonitorFrontEnd& fe) {
    ShowOutcome(fe, "Reset OK - " + LocalTimestamp(), "Reset OK", kTrayNormal);
}

void ShowResetFailedStep(TMonitorFrontEnd& fe, int32_t step) {
    const std::string text =
        "Unable to reset, invalid response in step #" + std::to_string(int64_t{step} + 1);
    ShowOutcome(fe, text, text, kTrayFailed);
}

} // namespace pingvard

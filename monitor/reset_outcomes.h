#pragma once

#include "monitor/front_end.h"

#include <cstdint>
#include <string>

namespace pingvard {

// The four outcome operations a reset session runs on the GUI thread. Each, in
// this order: builds its text, sets the status bar, writes the event log (where
// it has a log text), sets the tray image, and copies the tray image to the
// application icon (ShowResetStarting only when it changed the image).
void ShowResetStarting(TMonitorFrontEnd& fe);
void ShowConnectFailed(TMonitorFrontEnd& fe, const std::string& resetHost);
void ShowResetOk(TMonitorFrontEnd& fe);
// step is the session's 0-based Step; the text names step + 1.
void ShowResetFailedStep(TMonitorFrontEnd& fe, int32_t step);

inline constexpr int kTrayNormal = 0;
inline constexpr int kTrayResetting = 1;
inline constexpr int kTrayFailed = 2;

} // namespace pingvard

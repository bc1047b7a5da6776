// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "logs/event_log.h"
#include "monitor/front_end.h"
#include "recovery/recovery_action.h"

#include <string>

namespace pingvard {

// What a reset session shows, on the GUI thread; the one place where an
// outcome becomes the visible effects. Each, in this order: the status bar,
// the event log (where there is a text), the tray image, and the tray
// image copied to the application icon.

// "Trying to reset..."; no log line. The tray goes to image 1 only from image
// 0 (a failure image stays up until a session succeeds), and only then is the
// application icon copied.
// text replaces it for the newer action kinds.
void ShowResetStarting(TMonitorFrontEnd& fe, const std::string& text = {});
// A success shows its Status with " - " and the local date and time, the tray
// image 0; a failure its Status and image 2. The log gets the Status alone.
void ShowResetOutcome(TMonitorFrontEnd& fe, TEventLog& log, const TRecoveryOutcome& outcome);
// The status line, then the line in pingvard.log. When the log stops taking
// lines the status line says so after the status, and the front end's
// problem report; when it takes them again, the report alone.
void ShowLogged(TMonitorFrontEnd& fe, TEventLog& log, const std::string& status,
                const std::string& line);

inline constexpr int kTrayNormal = 0;
inline constexpr int kTrayResetting = 1;
inline constexpr int kTrayFailed = 2;

} // namespace pingvard

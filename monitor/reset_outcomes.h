// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "logs/event_log.h"
#include "monitor/front_end.h"
#include "recovery/recovery_action.h"
#include "rounds/site_view.h"

#include <optional>
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
// trayImage, when given, is the image instead (the state of the site's,
// rounds/site_view.h); the application icon is copied when it changes.
void ShowResetStarting(TMonitorFrontEnd& fe, const std::string& text = {},
                       std::optional<int> trayImage = std::nullopt);
// A success shows its Status with " - " and the local date and time, the tray
// image 0; a failure its Status and image 2 (or trayImage, when given). The
// log gets the Status alone.
void ShowResetOutcome(TMonitorFrontEnd& fe, TEventLog& log, const TRecoveryOutcome& outcome,
                      std::optional<int> trayImage = std::nullopt);
// The status line, then the line in pingvard.log. When the log stops taking
// lines the status line says so after the status, and the front end's
// problem report; when it takes them again, the report alone.
void ShowLogged(TMonitorFrontEnd& fe, TEventLog& log, const std::string& status,
                const std::string& line);
// The tray image of the site's state, and the application icon with it, when
// it changes.
void ShowTrayImage(TMonitorFrontEnd& fe, int image);

} // namespace pingvard

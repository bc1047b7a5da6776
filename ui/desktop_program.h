#pragma once

namespace pingvard {

// The tray application: the application object titled "AP Pingvard", the main
// window with its tray icon, the host monitor's start-up, the event loop, and
// the shutdown when the exit command ends the loop. Returns the exit status:
// 0 after the exit command, 1 when the start-up could not write pingvard.ini
// (the error has been shown in a box; nothing is being monitored, so the
// program ends rather than showing empty figures).
int RunDesktop(int& argc, char** argv);

} // namespace pingvard

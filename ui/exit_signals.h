// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>

namespace pingvard {

// Turns SIGINT, SIGTERM and SIGHUP into a call on the GUI thread, so that
// Ctrl+C in a terminal, a kill or the terminal's hang-up ends the desktop
// program like its exit command (its actions and hooks with it): the
// workers are stopped and joined and the tray icon is removed. The handler
// only writes a byte to a pipe; the notifier reads it in the event loop.
// One instance at a time; the previous handlers come back at destruction.
// With onRestart, SIGUSR1 calls it the same way ("Restart now"), instead of
// ending the program as its default action would.
class TExitSignals : public QObject {
    Q_OBJECT
public:
    explicit TExitSignals(std::function<void()> onSignal, std::function<void()> onRestart = {},
                          QObject* parent = nullptr);
    ~TExitSignals() override;
    TExitSignals(const TExitSignals&) = delete;
    TExitSignals& operator=(const TExitSignals&) = delete;

    // SIGINT or SIGTERM arrived while an instance exists, handled or not yet:
    // for work that runs before the event loop does (the settings load).
    static bool ExitRequested() noexcept;

private:
    void Drain();

    std::function<void()> m_onSignal;
    std::function<void()> m_onRestart;
    int m_readFd = -1;
    int m_writeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
    struct sigaction m_previousHup {};
    struct sigaction m_previousUsr1 {};
};

} // namespace pingvard

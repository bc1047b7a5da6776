// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/abort_signal.h"
#include "net/tick_clock.h"
#include "recovery/action_kinds.h"
#include "recovery/recovery_action.h"

namespace pingvard {

// Logs in over SSH and runs one command. The server's key must match the pinned
// fingerprint or the known_hosts file before any secret is sent; an unknown or
// changed key fails the action. Non-blocking throughout, so Abort and the time
// limit end it promptly.
//
// Success: the command's exit status 0, or the command was accepted and the
// session then ended without an exit status (the connection dropped, or the
// command died of SIGTERM, SIGHUP or SIGKILL): that is what a device does when
// "reboot" takes it down before sshd can report. A command still running at the
// time limit, a non-zero status or another signal is a failure.
class TSshAction : public TRecoveryAction {
public:
    explicit TSshAction(TActionConfig config, const TTickClock* clock = nullptr);

    const std::string& Name() const override { return m_config.Name; }
    std::string_view Kind() const override { return ActionKindName(TActionKind::Ssh); }
    bool HasDialogue() const override { return true; }
    TRecoveryOutcome Run(TActionReport& report) override;
    void Abort() noexcept override { m_abort.Raise(); }

private:
    TActionConfig m_config;
    const TTickClock& m_clock;
    TAbortSignal m_abort;
};

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every recovery action offers: one bounded, abortable run against the
// device that returns an outcome in the style of the status line.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

// How one run of an action ended. The monitor shows it in one place: the
// status line (a success with " - " and the local date and time appended),
// the event log, the tray image and the application icon, in that order.
struct TRecoveryOutcome {
    bool Ok = false;
    // Status-line text without a timestamp, e.g. "Power cycle OK (plug)" or
    // "Unable to power cycle, HTTP 401 from 192.0.2.5". Never holds a secret.
    std::string Status; // also the pingvard.log line
    // The telnet kind could not connect. Its texts name the reset host, and
    // the monitor builds them anew when it shows the outcome, with the reset
    // host set at that moment (the settings dialog may have changed it while
    // the session was connecting). Other kinds leave it unset.
    bool ConnectFailed = false;
};

// Progress of one run: steps for a dry run on the console and the transcript
// entries of the dialogue (comm.log). Secrets are masked before either is called.
class TActionReport {
public:
    virtual ~TActionReport() = default;
    virtual void Step(const std::string& text) = 0;
    virtual void Transcript(const std::string& entry) = 0;
};

// A report that keeps nothing.
class TNullActionReport : public TActionReport {
public:
    void Step(const std::string&) override {}
    void Transcript(const std::string&) override {}
};

// Why an action runs; the program action passes it on in its environment.
struct TRecoveryEvent {
    std::string Reason = "test";        // "rule" (hosts down), "manual" or "test"
    int Round = 0;                      // 1-based round of the guard's window; 0 = none
    int Step = 0;                       // 1-based place of the action in the escalation
    std::vector<std::string> HostsDown; // addresses of the marked hosts that failed

    bool operator==(const TRecoveryEvent&) const = default;
};

class TRecoveryAction {
public:
    virtual ~TRecoveryAction() = default;
    virtual const std::string& Name() const = 0; // "plug"
    virtual std::string_view Kind() const = 0;   // its row's Name in action_kinds.h: "ssh"
    // Whether Run holds a dialogue with the device, which comm.log keeps; an
    // action without one leaves the last dialogue there.
    virtual bool HasDialogue() const { return false; }
    // Set before Run; kinds that have no use for it ignore it.
    virtual void SetEvent(const TRecoveryEvent& event) { (void)event; }
    // Blocking, bounded by the action's time limit; called on the recovery
    // thread. Never throws.
    virtual TRecoveryOutcome Run(TActionReport& report) = 0;
    // Thread-safe and sticky, for shutdown: a Run in progress returns promptly,
    // and every later Run returns an aborted outcome at once.
    virtual void Abort() noexcept = 0;
};

inline TRecoveryOutcome Outcome(bool ok, std::string text) {
    TRecoveryOutcome outcome;
    outcome.Ok = ok;
    outcome.Status = std::move(text);
    return outcome;
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The historic restart: a telnet session to the access point that plays the
// challenge/answer script. The first recovery action kind; its texts are the
// status and event-log texts of the original program.

#include "net/telnet/telnet_client.h"
#include "net/tick_clock.h"
#include "recovery/action_kinds.h"
#include "recovery/recovery_action.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace pingvard {

struct TTelnetActionSettings {
    std::string Name = "telnet";
    std::string Host; // ResetHost when the action is made
    std::string Port = "23";
    int32_t LimitMs = 60000;           // from the start of Run; also the deadline of every wait
    int32_t SettleMs = 1500;           // quiet that ends the hold after the last answer
    int32_t HoldLimitMs = 4000;        // longest hold after the last answer
    const TTickClock* Clock = nullptr; // null = SystemTickClock()
    std::vector<std::string> Challenges;
    std::vector<std::string> Answers; // index-aligned; a missing answer is empty
};

// Connects to the device, plays the script and closes the line. Each step
// waits for its challenge, writes three transcript entries (the step, what
// came before the challenge with the challenge, "-> " and the answer; the
// answer is the device password in step 1, as the historic comm.log shows it)
// and sends the answer with CR LF.
//
// Every wait for a challenge and every send is bounded by the start + LimitMs,
// so a device that keeps sending bytes without the challenge, or that stops
// reading, cannot hold the session past the limit. A connection the device has
// closed ends the script at once: no challenge can arrive on it any more. A
// send that fails leaves its step incomplete.
//
// After the last answer the session keeps the line open and reads on (through
// the telnet filter, so negotiation is still answered) until the device closes
// it, is quiet for SettleMs, HoldLimitMs have passed or the limit is reached.
// A console on a pseudo-terminal reads its input some time after the daemon
// got it; hanging up at once would kill it before it read the confirmation.
// What the device said after the last challenge becomes one transcript entry
// of its own. "Reset OK" stands for a script answered and a line held until
// the device had it.
class TTelnetAction final : public TRecoveryAction {
public:
    static constexpr int32_t kTelnetTimeoutMs = 1000; // each wait for bytes

    explicit TTelnetAction(TTelnetActionSettings settings);

    const std::string& Name() const override { return m_settings.Name; }
    std::string_view Kind() const override { return ActionKindName(TActionKind::Telnet); }
    bool HasDialogue() const override { return true; }
    TRecoveryOutcome Run(TActionReport& report) override;
    // The script stops before its next step, and a connect or wait in
    // progress returns at once. Thread-safe and sticky.
    void Abort() noexcept override;

    int32_t Step() const noexcept { return m_step.load(); } // next script step, 0-based

private:
    TRecoveryOutcome Session(TActionReport& report);
    void PlayScript(TActionReport& report);
    void HoldLine(TActionReport& report);
    uint32_t Deadline() const;
    bool WithinLimit() const;

    const TTelnetActionSettings m_settings;
    const TTickClock& m_clock;
    TTelnetClient m_telnet; // only Run's thread uses it, except Abort()
    std::atomic<int32_t> m_step{0};
    uint32_t m_startTick = 0;
    std::atomic<bool> m_aborted{false};
};

// The outcomes of the telnet kind, with the texts of the status line (without
// the time stamp of a success) and the event log.
TRecoveryOutcome TelnetResetOk();
TRecoveryOutcome TelnetConnectFailed(const std::string& host);
TRecoveryOutcome TelnetFailedStep(int32_t step); // the 0-based Step; the text names step + 1

} // namespace pingvard

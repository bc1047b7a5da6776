// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/ini_file.h"
#include "config/slots.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pingvard {

// What the start-up load fills, in the load's order: TSettings::Load fills a
// settings value through it, and tests trace it.
class TStartupTarget {
public:
    virtual ~TStartupTarget() = default;
    virtual void SetMaxTimeouts(int32_t value) = 0;
    virtual void SetPingInterval(int32_t value) = 0;
    virtual void SetResetHost(const std::string& host) = 0;
    virtual void AddScriptStep(const std::string& challenge, const std::string& answer) = 0;
    virtual void SetHostLabel(int slot, const std::string& text) = 0; // slot 0..3
    virtual std::string HostLabel(int slot) const = 0;
    virtual void SetDoReset(int slot, bool doReset) = 0;
    virtual bool DoReset(int slot) const = 0;
    virtual void SetDisplayName(int slot, const std::string& name) = 0;
    // The slot's address and echo time-out, which its worker will use; called
    // once per slot right after that slot's writes, before the next slot is read.
    virtual void SetSlotHost(int slot, const std::string& address, int32_t timeoutMs) = 0;
};

inline constexpr std::string_view kDefaultResetHost = "192.168.168.1";
inline constexpr int32_t kDefaultMaxTimeouts = 5;
inline constexpr int32_t kDefaultPingInterval = 2000;
inline constexpr int32_t kDefaultHostTimeout = 1000;
// The first three hosts take part in the restart rule unless the file says otherwise.
constexpr bool DefaultDoReset(int slot) noexcept {
    return slot < 3;
}
// A configured step count above this is read as this many steps: reading
// billions of empty pairs would exhaust memory long before the session could
// use them (a session ends after 60 s anyway).
inline constexpr int32_t kMaxScriptSteps = 1000;

// Slot defaults of Host1..Host4 (Hostname and DisplayName).
extern const std::array<std::string_view, kSlotCount> kDefaultHostNames;
extern const std::array<std::string_view, kSlotCount> kDefaultDisplayNames;

struct TScriptStep {
    std::string_view Challenge, Answer;
};
// Installed when ChallengesCount reads 0.
extern const std::array<TScriptStep, 3> kDefaultScript;

// "Host1".."Host4" for slot 0..3.
std::string HostSection(int slot);

// Reads pingvard.ini and writes it back normalised, in the fixed order of reads
// and writes, filling target on the way. A refused write throws
// EIniFileException and ends the load there; what was set before stays set.
void RunStartupLoad(TCustomIniFile& ini, TStartupTarget& target);
// The same on a TIniFile over ConfigFileName(), released when the load ends.
void RunStartupLoad(TStartupTarget& target);

} // namespace pingvard

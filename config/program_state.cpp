// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/program_state.h"

#include "config/program_dir.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string_view>

namespace pingvard {

namespace {

const std::string kStart = "Start";
const std::string kGuard = "Guard";
const std::string kIncident = "Incident";
// Values of the text form never hold a blank: two of them part its lines.
constexpr std::string_view kLineBreak = "  ";

constexpr std::string_view kHeader =
    "; Pingvard's own state across restarts (see pingvard(1), FILES). The program\n"
    "; writes it; deleting it forgets the restart guard's rounds.\n";

// Without boot ids, the boot clock is trusted when it has run as long as the
// wall clock since the write, give or take this.
constexpr int64_t kClockAgreementMs = 60000;

int64_t ClockMs(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

std::string BootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// An age in the guard's range: a negative one (a hand-edited file) is now.
uint32_t Age(int64_t ms) {
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, std::numeric_limits<uint32_t>::max()));
}

class TSectionValues {
public:
    TSectionValues(const TProfileStore& store, const std::string& section)
        : m_store(store), m_section(section) {}
    std::string Text(std::string_view key) const {
        return m_store.Read(m_section, key).value_or("");
    }
    std::optional<int64_t> Value(std::string_view key) const { return Number(Text(key)); }

private:
    const TProfileStore& m_store;
    const std::string& m_section;
};

} // namespace

TClockReading ReadClocks() {
    return {ClockMs(CLOCK_REALTIME), ClockMs(CLOCK_BOOTTIME), BootId()};
}

int64_t ElapsedMs(const TClockReading& then, const TClockReading& now) {
    const int64_t wall = now.WallMs - then.WallMs;
    const int64_t boot = now.BootMs - then.BootMs;
    const bool sameBoot = !then.BootId.empty() && !now.BootId.empty()
                              ? then.BootId == now.BootId
                              : boot >= 0 && std::llabs(wall - boot) <= kClockAgreementMs;
    return std::max<int64_t>(sameBoot ? boot : wall, 0);
}

std::string StateFileName() {
    return GetProgramDir() + "pingvard.state";
}

std::string ConfigDigest(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        return {};
    }
    uint64_t hash = 14695981039346656037ULL;
    for (auto it = std::istreambuf_iterator<char>(in); it != std::istreambuf_iterator<char>();
         ++it) {
        hash = (hash ^ static_cast<unsigned char>(*it)) * 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

TGuardMemory TProgramStateFile::Guard(const TClockReading& now) const {
    const TSectionValues guard(m_store, kGuard);
    const std::optional<int64_t> saved = guard.Value("Saved");
    const std::optional<int64_t> savedBoot = guard.Value("SavedBoot");
    TGuardMemory memory;
    if (!saved || !savedBoot) {
        return memory;
    }
    const int64_t elapsed = ElapsedMs({*saved, *savedBoot, guard.Text("Boot")}, now);
    const std::string rounds = guard.Text("Rounds");
    for (std::size_t start = 0; start < rounds.size();) {
        const std::size_t comma = std::min(rounds.find(',', start), rounds.size());
        if (const auto at = Number(std::string_view(rounds).substr(start, comma - start))) {
            memory.RoundAgesMs.push_back(Age(*saved - *at + elapsed));
        }
        start = comma + 1;
    }
    std::sort(memory.RoundAgesMs.rbegin(), memory.RoundAgesMs.rend()); // oldest first
    const std::optional<int64_t> from = guard.Value("HoldOffFrom");
    const std::optional<int64_t> length = guard.Value("HoldOff");
    if (from && length && *length > 0) {
        memory.HoldingOff = true;
        memory.HoldOffAgeMs = Age(*saved - *from + elapsed);
        memory.HoldOffMs = Age(*length);
    }
    memory.Uncured = static_cast<int>(std::clamp<int64_t>(guard.Value("BackOff").value_or(0), 0,
                                                          std::numeric_limits<int>::max()));
    return memory;
}

TStartConfirmation TProgramStateFile::Confirmation() const {
    const TSectionValues start(m_store, kStart);
    return {start.Value("Confirmed") == 0, start.Text("Fresh")};
}

bool TProgramStateFile::SaveGuard(const TGuardMemory& memory, const TClockReading& now) {
    std::string rounds;
    for (uint32_t age : memory.RoundAgesMs) {
        rounds += (rounds.empty() ? "" : ",") + std::to_string(now.WallMs - age);
    }
    const bool holding = memory.HoldingOff && memory.HoldOffAgeMs < memory.HoldOffMs;
    return m_store.WriteSection(
        kGuard,
        {{"Saved", std::to_string(now.WallMs)},
         {"SavedBoot", std::to_string(now.BootMs)},
         {"Boot", now.BootId},
         {"Rounds", rounds},
         {"HoldOffFrom", holding ? std::to_string(now.WallMs - memory.HoldOffAgeMs) : ""},
         {"HoldOff", holding ? std::to_string(memory.HoldOffMs) : "0"},
         {"BackOff", std::to_string(memory.Uncured)}},
        kHeader);
}

bool TProgramStateFile::SaveConfirmation(const TStartConfirmation& confirmation) {
    return m_store.WriteSection(
        kStart, {{"Confirmed", confirmation.Pending ? "0" : "1"}, {"Fresh", confirmation.Fresh}},
        kHeader);
}

std::optional<TIncident> TProgramStateFile::Incident() const {
    return ParseIncidentLine(TSectionValues(m_store, kIncident).Text("Open"));
}

bool TProgramStateFile::SaveIncident(const TIncident* open) {
    return m_store.WriteSection(kIncident, {{"Open", open ? IncidentLine(*open) : ""}}, kHeader);
}

std::string TProgramStateFile::IncidentLine(const TIncident& incident) {
    std::string text = IncidentText(incident);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    std::string line;
    for (const char c : text) {
        line += c == '\n' ? std::string(kLineBreak) : std::string(1, c);
    }
    return line;
}

std::optional<TIncident> TProgramStateFile::ParseIncidentLine(std::string_view line) {
    if (line.empty()) {
        return std::nullopt;
    }
    std::string text;
    for (std::size_t at = 0; at < line.size();) {
        if (line.substr(at, kLineBreak.size()) == kLineBreak) {
            text += '\n';
            at += kLineBreak.size();
        } else {
            text += line[at++];
        }
    }
    return ParseIncident(text + "\n");
}

} // namespace pingvard

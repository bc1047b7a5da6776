// SPDX-License-Identifier: GPL-3.0-or-later
// One line per session, the simulator's machine-readable record. Format v1
// (documented in --help and docs/apsim.md): space-separated KEY=VALUE tokens,
// values never contain spaces; "-" stands for "none".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard::apsim {

struct TStamp {
    int64_t MonoMs = -1; // CLOCK_MONOTONIC, the clock pingvard's tick counter reads
    int64_t RealMs = -1; // CLOCK_REALTIME, ms since 1970
};

TStamp Now();

struct TAnswerRecord {
    std::string Status; // ok, wrong, rejected, bad-eol, lost (never read)
    TStamp At;          // when the line end of the answer arrived
    std::string Text;   // as received, without its line end
};

struct TSessionRecord {
    int Number = 0;
    std::string Peer;
    std::string Modes; // comma-separated, "-" for none
    TStamp Accepted;
    std::string TerminalType; // empty: none reported
    std::string WindowSize;   // "WxH", empty: none reported
    std::vector<TAnswerRecord> Answers;
    TStamp Confirmed; // when the console read the last correct answer
    std::string Outcome;
    TStamp Ended;
};

// Percent-escapes every byte outside '!'..'~' and '%' itself; "-" for empty.
std::string RecordEscape(std::string_view text);

std::string FormatRecord(const TSessionRecord& record);

} // namespace pingvard::apsim

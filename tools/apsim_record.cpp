// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_record.h"

#include <ctime>

namespace pingvard::apsim {
namespace {

int64_t ClockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void AddStamp(std::string& out, const char* key, const TStamp& stamp) {
    const auto value = [](int64_t ms) { return ms < 0 ? std::string("-") : std::to_string(ms); };
    out += std::string(" ") + key + "_mono_ms=" + value(stamp.MonoMs);
    out += std::string(" ") + key + "_real_ms=" + value(stamp.RealMs);
}

} // namespace

TStamp Now() {
    return {ClockMs(CLOCK_MONOTONIC), ClockMs(CLOCK_REALTIME)};
}

std::string RecordEscape(std::string_view text) {
    if (text.empty()) {
        return "-";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b > ' ' && b < 0x7f && b != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string FormatRecord(const TSessionRecord& record) {
    std::string out = "apsim v=1 session=" + std::to_string(record.Number);
    out += " peer=" + RecordEscape(record.Peer);
    out += " modes=" + RecordEscape(record.Modes);
    AddStamp(out, "accepted", record.Accepted);
    out += " ttype=" + RecordEscape(record.TerminalType);
    out += " naws=" + RecordEscape(record.WindowSize);
    out += " answers=" + std::to_string(record.Answers.size());
    for (std::size_t i = 0; i < record.Answers.size(); ++i) {
        const auto& answer = record.Answers[i];
        out += " answer" + std::to_string(i + 1) + "=" + answer.Status + ":" +
               std::to_string(answer.At.MonoMs) + ":" + std::to_string(answer.At.RealMs) + ":" +
               RecordEscape(answer.Text);
    }
    AddStamp(out, "last_answer", record.Answers.empty() ? TStamp{} : record.Answers.back().At);
    AddStamp(out, "confirmed", record.Confirmed);
    out += " outcome=" + record.Outcome;
    AddStamp(out, "end", record.Ended);
    return out;
}

} // namespace pingvard::apsim

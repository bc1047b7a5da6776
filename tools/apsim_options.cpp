// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/apsim_options.h"

#include "tools/apsim_ini.h"

#include <charconv>
#include <functional>
#include <map>
#include <utility>

namespace pingvard::apsim {
namespace {

std::optional<int64_t> ParseCount(std::string_view text) {
    int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != end || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseInt(std::string_view text) {
    const auto value = ParseCount(text);
    if (!value || *value > 0x7fffffff) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

class TParser {
public:
    explicit TParser(const std::vector<std::string>& args) : m_args(args) {}
    TParseOutcome Run();

private:
    bool Option(const std::string& name);
    bool FloodBytes();
    bool ModeList();
    bool Mode(std::string_view entry);
    bool ScriptOption(const std::string& name);
    bool ScriptFile(const std::string& name);
    bool NextArg(const std::string& name, std::string& value);
    bool NextInt(const std::string& name, int& value);
    bool Fail(std::string message) {
        m_out.Action = TParseOutcome::TAction::Error;
        m_out.Error = std::move(message);
        return false;
    }

    const std::vector<std::string>& m_args;
    std::size_t m_next = 0;
    TParseOutcome m_out;
    std::vector<TScriptStep> m_steps;
    std::string m_before;
    bool m_bare = false;
};

TParseOutcome TParser::Run() {
    while (m_next < m_args.size()) {
        const std::string arg = m_args[m_next++];
        if (arg == "-h" || arg == "--help") {
            m_out.Action = TParseOutcome::TAction::Help;
            return m_out;
        }
        if (arg == "--version") {
            m_out.Action = TParseOutcome::TAction::Version;
            return m_out;
        }
        if (!Option(arg)) {
            if (m_out.Error.empty()) {
                Fail("unknown option: " + arg);
            }
            return m_out;
        }
    }
    if (!m_steps.empty()) {
        m_out.Options.Script.Steps = std::move(m_steps);
    }
    if (m_bare) {
        auto& script = m_out.Options.Script;
        script.Banner.clear();
        script.Rejected.clear();
        script.Farewell.clear();
        for (auto& step : script.Steps) {
            step.Before.clear();
        }
    }
    const auto& o = m_out.Options;
    const std::size_t steps = o.Script.Steps.size();
    for (const auto& [mode, value] :
         {std::pair{"stop-after", o.StopAfter}, std::pair{"close-mid-script", o.CloseMidScript},
          std::pair{"reset-during-answer", o.ResetDuringAnswer}}) {
        if (value && std::size_t(*value) >= steps + (mode[0] == 'r' ? 1 : 0)) {
            Fail(std::string("--mode ") + mode + "=" + std::to_string(*value) +
                 ": the script has only " + std::to_string(steps) + " steps");
            break;
        }
    }
    return m_out;
}

bool TParser::NextArg(const std::string& name, std::string& value) {
    if (m_next >= m_args.size()) {
        return Fail(name + " needs a value");
    }
    value = m_args[m_next++];
    return true;
}

bool TParser::NextInt(const std::string& name, int& value) {
    std::string text;
    if (!NextArg(name, text)) {
        return false;
    }
    const auto parsed = ParseInt(text);
    if (!parsed) {
        return Fail(name + ": not a non-negative number: " + text);
    }
    value = *parsed;
    return true;
}

bool TParser::Option(const std::string& name) {
    auto& o = m_out.Options;
    std::string text;
    const std::map<std::string, int*, std::less<>> numbers = {
        {"--exit-after", &o.ExitAfter},
        {"--max-wrong", &o.MaxWrong},
        {"--negotiation-wait", &o.NegotiationWaitMs},
        {"--session-limit", &o.SessionLimitMs},
        {"--split-pause", &o.SplitPauseMs},
        {"--trickle-interval", &o.TrickleIntervalMs},
        {"--storm-rounds", &o.StormRounds},
        {"--console-delay", &o.ConsoleDelayMs},
        {"--chatter-interval", &o.ChatterIntervalMs},
    };
    const std::map<std::string, std::string*, std::less<>> texts = {
        {"--listen", &o.ListenAddress},
        {"--port", &o.Port},
        {"--record", &o.RecordFile},
        {"--on-reset", &o.OnReset},
    };
    if (auto it = numbers.find(name); it != numbers.end()) {
        return NextInt(name, *it->second);
    }
    if (auto it = texts.find(name); it != texts.end()) {
        return NextArg(name, *it->second);
    }
    if (name == "--no-offers") {
        o.NoOffers = true;
        return true;
    }
    if (name == "--bare") {
        m_bare = true;
        return true;
    }
    if (name == "--flood-bytes") {
        return FloodBytes();
    }
    if (name == "--mode") {
        return ModeList();
    }
    return ScriptOption(name);
}

bool TParser::FloodBytes() {
    std::string text;
    if (!NextArg("--flood-bytes", text)) {
        return false;
    }
    const auto bytes = ParseCount(text);
    if (!bytes) {
        return Fail("--flood-bytes: not a non-negative number: " + text);
    }
    m_out.Options.FloodBytes = *bytes;
    return true;
}

bool TParser::ModeList() {
    std::string text;
    if (!NextArg("--mode", text)) {
        return false;
    }
    // "--mode stop-after 2" is taken as well as "--mode stop-after=2".
    if (text.find('=') == std::string::npos && m_next < m_args.size() && ParseInt(m_args[m_next])) {
        text += "=" + m_args[m_next++];
    }
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (!Mode(std::string_view(text).substr(start, comma - start))) {
            return false;
        }
        start = comma + 1;
    }
    return true;
}

bool TParser::ScriptOption(const std::string& name) {
    std::string text;
    if (name == "--step") {
        if (!NextArg(name, text)) {
            return false;
        }
        auto step = ParseStepText(text);
        if (!step) {
            return Fail("--step: expected CHALLENGE=ANSWER (escapes \\r \\n \\t \\\\ \\= \\xHH): " +
                        text);
        }
        step->Before = std::exchange(m_before, {});
        m_steps.push_back(std::move(*step));
        return true;
    }
    if (name == "--before" || name == "--banner") {
        if (!NextArg(name, text)) {
            return false;
        }
        auto unescaped = UnescapeText(text);
        if (!unescaped) {
            return Fail(name + ": malformed backslash escape: " + text);
        }
        (name == "--before" ? m_before : m_out.Options.Script.Banner) = *unescaped;
        return true;
    }
    return ScriptFile(name);
}

bool TParser::ScriptFile(const std::string& name) {
    std::string path;
    std::string error;
    if (name == "--ini") {
        if (!NextArg(name, path)) {
            return false;
        }
        auto steps = LoadIniScript(path, error);
        if (!steps) {
            return Fail(error);
        }
        m_out.Options.Script.Steps = std::move(*steps);
        return true;
    }
    if (name == "--script") {
        if (!NextArg(name, path)) {
            return false;
        }
        auto script = LoadScriptFile(path, error);
        if (!script) {
            return Fail(error);
        }
        m_out.Options.Script = std::move(*script);
        return true;
    }
    return false;
}

bool TParser::Mode(std::string_view entry) {
    auto& o = m_out.Options;
    const std::size_t eq = entry.find('=');
    const std::string name(entry.substr(0, eq));
    std::optional<int> value;
    if (eq != std::string_view::npos) {
        value = ParseInt(entry.substr(eq + 1));
        if (!value) {
            return Fail("--mode " + std::string(entry) + ": not a non-negative number");
        }
    }
    const bool needsValue = name == "stop-after" || name == "close-mid-script";
    const bool takesValue = needsValue || name == "reset-during-answer";
    if (needsValue && !value) {
        return Fail("--mode " + name + " needs a number: --mode " + name + "=N");
    }
    if (value && !takesValue) {
        return Fail("--mode " + name + " takes no number");
    }
    const std::map<std::string, bool*, std::less<>> flags = {
        {"refuse", &o.Refuse},
        {"never-prompt", &o.NeverPrompt},
        {"split-bytes", &o.SplitBytes},
        {"trickle", &o.Trickle},
        {"flood", &o.Flood},
        {"wrong-password", &o.WrongPassword},
        {"iac-storm", &o.IacStorm},
        {"burst", &o.Burst},
        {"chatter", &o.Chatter},
        {"abort-on-reset", &o.AbortOnReset},
    };
    if (auto it = flags.find(name); it != flags.end()) {
        *it->second = true;
    } else if (name == "stop-after") {
        o.StopAfter = value;
    } else if (name == "close-mid-script") {
        o.CloseMidScript = value;
    } else if (name == "reset-during-answer") {
        o.ResetDuringAnswer = value.value_or(1);
        if (*o.ResetDuringAnswer == 0) {
            return Fail("--mode reset-during-answer: answers are counted from 1");
        }
    } else {
        return Fail("unknown mode: " + name + " (see --help)");
    }
    o.ModeNames.emplace_back(entry);
    return true;
}

} // namespace

std::optional<int> TApsimOptions::StallAfter() const {
    if (NeverPrompt) {
        return 0;
    }
    if (StopAfter) {
        return StopAfter;
    }
    if (Trickle || Flood) {
        return 0;
    }
    return std::nullopt;
}

TParseOutcome ParseApsimCommandLine(const std::vector<std::string>& args) {
    return TParser(args).Run();
}

} // namespace pingvard::apsim

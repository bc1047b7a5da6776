// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/dialog/recovery_write.h"

#include "config/dialog/secret_write.h"

#include <algorithm>
#include <tuple>

namespace pingvard {

namespace {

const char* const kPresetNames[] = {"none", "shelly1", "shelly2", "tasmota"};

std::string Num(int64_t value) {
    return std::to_string(value);
}

const std::string& Secret(const TActionConfig& a) {
    return a.Kind == TActionKind::Ssh ? a.Ssh.Password : a.Http.Password;
}

bool HasSecret(const TActionConfig& a) {
    return a.Kind == TActionKind::Ssh || a.Kind == TActionKind::Http;
}

} // namespace

std::vector<std::pair<std::string, std::string>> ActionKeys(const TActionConfig& a) {
    std::vector<std::pair<std::string, std::string>> keys;
    const auto add = [&keys](const char* key, std::string value) {
        keys.emplace_back(key, std::move(value));
    };
    switch (a.Kind) {
    case TActionKind::Telnet:
        break; // its device and script are the historic sections'
    case TActionKind::Ssh:
        add("Host", a.Ssh.Host);
        add("Port", Num(a.Ssh.Port));
        add("User", a.Ssh.User);
        add("KeyFile", a.Ssh.KeyFile);
        add("PasswordFile", a.PasswordFile);
        add("HostKey", a.Ssh.HostKey);
        add("Command", a.Ssh.Command);
        break;
    case TActionKind::Http: {
        const THttpSettings& h = a.Http;
        add("Preset", kPresetNames[static_cast<std::size_t>(h.Preset)]);
        add("Host", h.Host);
        add("Port", Num(h.Port));
        add("Https", h.Https ? "1" : "0");
        add("Channel", Num(h.Channel));
        add("OffTime", Num(h.OffTimeS));
        add("User", h.User);
        add("PasswordFile", a.PasswordFile);
        add("PinnedKey", h.PinnedKey);
        add("Method", h.Method);
        add("Url", h.Url);
        add("Body", h.Body);
        add("Expect", Num(h.ExpectStatus));
        break;
    }
    case TActionKind::Program:
        add("Program", a.Program.Program);
        for (std::size_t i = 0; i < a.Program.Args.size(); ++i) {
            keys.emplace_back("Arg" + Num(static_cast<int64_t>(i) + 1), a.Program.Args[i]);
        }
        break;
    }
    return keys;
}

bool SameDialogRecoverySettings(const TRecoverySettings& a, const TRecoverySettings& b) {
    const auto guard = [](const TGuardConfig& g) {
        return std::tuple(g.HoldOffMs, g.MaxRounds, g.WindowMs, g.BackOff);
    };
    if (a.Quorum != b.Quorum || guard(a.Guard) != guard(b.Guard) ||
        a.Actions.size() != b.Actions.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.Actions.size(); ++i) {
        const TActionConfig& x = a.Actions[i];
        const TActionConfig& y = b.Actions[i];
        if (x.Name != y.Name || x.Kind != y.Kind || x.TimeLimitMs != y.TimeLimitMs ||
            x.VerifyMs != y.VerifyMs || ActionKeys(x) != ActionKeys(y) || Secret(x) != Secret(y)) {
            return false;
        }
    }
    return true;
}

void SaveDialogRecoverySettings(TCustomIniFile& ini, const TRecoverySettings& settings,
                                const TRecoverySettings& previous, const std::string& programDir) {
    std::string names;
    for (const TActionConfig& action : settings.Actions) {
        names += (names.empty() ? "" : ",") + action.Name;
    }
    ini.WriteText("Recovery", "Actions", names);
    ini.WriteNumber("Recovery", "Quorum", settings.Quorum);
    ini.WriteNumber("Guard", "HoldOff", static_cast<int32_t>(settings.Guard.HoldOffMs / 1000));
    ini.WriteNumber("Guard", "MaxRounds", settings.Guard.MaxRounds);
    ini.WriteNumber("Guard", "Window", static_cast<int32_t>(settings.Guard.WindowMs / 1000));
    ini.WriteFlag("Guard", "BackOff", settings.Guard.BackOff);
    for (const TActionConfig& action : settings.Actions) {
        const std::string section = "Action." + action.Name;
        ini.WriteText(section, "Kind", std::string(ActionKindName(action.Kind)));
        ini.WriteNumber(section, "TimeLimit", action.TimeLimitMs / 1000);
        ini.WriteNumber(section, "Verify", action.VerifyMs / 1000);
        // Of an action that was there before, only what changed: a key the
        // dialog did not touch keeps its bytes (a relative file name, $hex).
        const auto old = std::find_if(
            previous.Actions.begin(), previous.Actions.end(),
            [&](const TActionConfig& p) { return p.Name == action.Name && p.Kind == action.Kind; });
        const auto oldKeys = old == previous.Actions.end()
                                 ? std::vector<std::pair<std::string, std::string>>{}
                                 : ActionKeys(*old);
        const auto keys = ActionKeys(action);
        for (const auto& key : keys) {
            if (std::find(oldKeys.begin(), oldKeys.end(), key) == oldKeys.end()) {
                ini.WriteText(section, key.first, key.second);
            }
        }
        // Arguments the dialog removed.
        for (const auto& key : oldKeys) {
            if (key.first.rfind("Arg", 0) == 0 &&
                std::none_of(keys.begin(), keys.end(),
                             [&](const auto& k) { return k.first == key.first; })) {
                ini.DeleteKey(section, key.first);
            }
        }
        const bool secretChanged = old == previous.Actions.end() ? !Secret(action).empty()
                                                                 : Secret(action) != Secret(*old);
        if (HasSecret(action) && secretChanged) {
            if (!action.PasswordFile.empty()) {
                WriteSecretFile(InDir(programDir, action.PasswordFile), Secret(action));
            } else {
                MakePrivate(ini.FileName());
                ini.WriteText(section, "Password", Secret(action));
            }
        }
    }
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The recovery action kinds: the plain settings of each kind, as the
// configuration parser produces them, and kActionKinds, one row per kind. A
// new kind is a row and its settings here, its class, and its reader in
// config/. Nothing here reads a file: secrets kept in a file of their own are
// already read into these values.

#include "net/tick_clock.h"
#include "recovery/recovery_action.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

// In the order of the rows of kActionKinds.
enum class TActionKind { Telnet, Ssh, Http, Program };

struct TSshSettings {
    std::string Host;
    int Port = 22;
    std::string User;
    std::string Password; // used when KeyFile is empty
    std::string KeyFile;  // an unencrypted private key (OpenSSH or PEM format)
    // The server's key pinned as "SHA256:" + unpadded base64, as ssh-keygen -l
    // prints it; when empty, KnownHostsFile decides.
    std::string HostKey;
    // How the settings name HostKey, for the advice to pin an unknown key
    // (the settings reader fills it in).
    std::string HostKeyName;
    std::string KnownHostsFile;
    std::string Command = "reboot";
};

enum class TPlugPreset { None, Shelly1, Shelly2, Tasmota };
enum class THttpAuth { None, Basic, Digest };

struct THttpSettings {
    TPlugPreset Preset = TPlugPreset::None;
    // A preset builds the request from these:
    std::string Host;
    int Port = 0;       // 0 = the scheme's own
    bool Https = false; // presets only; a hand-made Url names its scheme
    int Channel = 0;    // relay or switch index on the plug, 0-based
    int32_t OffTimeS = 10;
    // Without a preset the request is given whole:
    std::string Method = "GET";
    std::string Url;
    std::string Body;
    std::string ContentType;
    int32_t ExpectStatus = 200;
    // Both:
    std::string User;
    std::string Password;
    THttpAuth Auth = THttpAuth::None;
    // "sha256//" + base64 of the server's public key: trusts that key (a
    // self-signed certificate) instead of the certificate authorities.
    std::string PinnedKey;
    std::string CaFile; // extra authorities in PEM; empty = the system's
};

struct TProgramSettings {
    std::string Program;
    std::vector<std::string> Args;
};

struct TActionConfig {
    std::string Name;
    TActionKind Kind = TActionKind::Telnet;
    int32_t TimeLimitMs = 60000;
    int32_t VerifyMs = 0; // after the action: how long to wait for the hosts
    // Set when the settings make the action unusable (a refused secret file,
    // no host); such an action fails at once with this text, never connecting.
    std::string Problem;
    // PasswordFile as written (relative to the program directory or absolute);
    // empty when the password, if any, stands in pingvard.ini itself.
    std::string PasswordFile;
    TSshSettings Ssh;
    THttpSettings Http;
    TProgramSettings Program;
};

// What an action is made with besides its own settings: the historic
// sections' reset host and challenge script (the telnet kind's device), and
// the clock.
struct TActionContext {
    std::string ResetHost;
    std::string ResetPort = "23";
    int32_t TelnetLimitMs = 0; // the telnet session's limit; 0 = its TimeLimit
    std::vector<std::string> Challenges;
    std::vector<std::string> Answers;  // index-aligned with Challenges
    const TTickClock* Clock = nullptr; // null = SystemTickClock()
    // Where the kinds loaded on first use find their modules; empty = the
    // program's own directories (recovery/action_module.h).
    std::vector<std::string> ModuleDirs;
};

// Each kind's maker, defined beside its class. The ssh and http kinds load
// their module here, on first use, behind the same signature.
using TMakeAction = std::unique_ptr<TRecoveryAction> (*)(const TActionConfig& config,
                                                         const TActionContext& context);
std::unique_ptr<TRecoveryAction> MakeTelnetAction(const TActionConfig& config,
                                                  const TActionContext& context);
std::unique_ptr<TRecoveryAction> MakeSshAction(const TActionConfig& config,
                                               const TActionContext& context);
std::unique_ptr<TRecoveryAction> MakeHttpAction(const TActionConfig& config,
                                                const TActionContext& context);
std::unique_ptr<TRecoveryAction> MakeProgramAction(const TActionConfig& config,
                                                   const TActionContext& context);

struct TActionKindInfo {
    TActionKind Kind;
    std::string_view Name; // as pingvard.ini, the events and the hooks spell it
    // Defaults of TimeLimit and Verify, in seconds; VerifyAloneS when the
    // action is the only one of the escalation.
    int32_t TimeLimitS;
    int32_t VerifyS;
    int32_t VerifyAloneS;
    std::string (*StartingText)(const TActionConfig& config); // the status line while it runs
    TMakeAction Make;
    // The values of its settings that never reach a log, the console, metrics
    // or hooks (empty ones included).
    std::vector<std::string> (*Secrets)(const TActionConfig& config);
    // What it acts on, for the operator who is asked to confirm: the device's
    // address or the program's path, never a secret.
    std::string (*Target)(const TActionConfig& config, const std::string& resetHost);
};

// The host part of a URL ("192.0.2.5" from "http://u@192.0.2.5:8080/x"), for
// outcome texts; never the user information (recovery/plug_request.cpp).
std::string UrlHost(const std::string& url);

inline constexpr TActionKindInfo kActionKinds[] = {
    // Alone, the telnet session keeps the historic behaviour: no verify time,
    // the rule fires again as before.
    {TActionKind::Telnet, "telnet", 60, 180, 0,
     [](const TActionConfig&) -> std::string { return "Trying to reset..."; }, MakeTelnetAction,
     // Its secrets are the challenge script's answers, which belong to the
     // historic sections.
     [](const TActionConfig&) { return std::vector<std::string>{}; },
     [](const TActionConfig&, const std::string& resetHost) { return resetHost; }},
    {TActionKind::Ssh, "ssh", 30, 180, 180,
     [](const TActionConfig& c) { return "Trying to reset (" + c.Name + ")..."; }, MakeSshAction,
     [](const TActionConfig& c) { return std::vector<std::string>{c.Ssh.Password}; },
     [](const TActionConfig& c, const std::string&) { return c.Ssh.Host; }},
    // Verify: the plug's off time and the device's boot.
    {TActionKind::Http, "http", 15, 240, 240,
     [](const TActionConfig& c) {
         return (c.Http.Preset == TPlugPreset::None ? "Trying to reset ("
                                                    : "Trying to power cycle (") +
                c.Name + ")...";
     },
     MakeHttpAction,
     [](const TActionConfig& c) { return std::vector<std::string>{c.Http.Password}; },
     // A hand-made Url may hold a token: only its host.
     [](const TActionConfig& c, const std::string&) {
         return c.Http.Url.empty() ? c.Http.Host : UrlHost(c.Http.Url);
     }},
    {TActionKind::Program, "program", 60, 180, 180,
     [](const TActionConfig& c) { return "Running " + c.Name + "..."; }, MakeProgramAction,
     [](const TActionConfig&) { return std::vector<std::string>{}; },
     [](const TActionConfig& c, const std::string&) { return c.Program.Program; }},
};

static_assert(
    [] {
        for (std::size_t i = 0; i < std::size(kActionKinds); ++i) {
            if (static_cast<std::size_t>(kActionKinds[i].Kind) != i) {
                return false;
            }
        }
        return true;
    }(),
    "the rows of kActionKinds follow TActionKind");

constexpr const TActionKindInfo& KindInfo(TActionKind kind) {
    return kActionKinds[static_cast<std::size_t>(kind)];
}

constexpr std::string_view ActionKindName(TActionKind kind) {
    return KindInfo(kind).Name;
}

// The kind spelt name (as the table spells it), or none.
constexpr std::optional<TActionKind> FindActionKind(std::string_view name) {
    for (const TActionKindInfo& info : kActionKinds) {
        if (info.Name == name) {
            return info.Kind;
        }
    }
    return std::nullopt;
}

// "telnet, ssh, http or program": the kinds for a problem line.
inline std::string ActionKindList() {
    std::string list;
    for (std::size_t i = 0; i < std::size(kActionKinds); ++i) {
        list += (i == 0 ? "" : i + 1 == std::size(kActionKinds) ? " or " : ", ");
        list += kActionKinds[i].Name;
    }
    return list;
}

inline std::unique_ptr<TRecoveryAction> MakeAction(const TActionConfig& config,
                                                   const TActionContext& context) {
    return KindInfo(config.Kind).Make(config, context);
}

} // namespace pingvard

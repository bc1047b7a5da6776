// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Plain settings of one recovery action, as the configuration parser produces
// them. Nothing here reads a file: secrets kept in a file of their own are
// already read into these values.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

enum class TActionKind { Telnet, Ssh, Http, Program };

// The kinds as pingvard.ini spells them, in the order of TActionKind.
inline constexpr std::string_view kActionKindNames[] = {"telnet", "ssh", "http", "program"};

constexpr std::string_view ActionKindName(TActionKind kind) {
    return kActionKindNames[static_cast<int>(kind)];
}

struct TSshSettings {
    std::string Host;
    int Port = 22;
    std::string User;
    std::string Password; // used when KeyFile is empty
    std::string KeyFile;  // an unencrypted private key (OpenSSH or PEM format)
    // The server's key pinned as "SHA256:" + unpadded base64, as ssh-keygen -l
    // prints it; when empty, KnownHostsFile decides.
    std::string HostKey;
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
    TSshSettings Ssh;
    THttpSettings Http;
    TProgramSettings Program;
};

} // namespace pingvard

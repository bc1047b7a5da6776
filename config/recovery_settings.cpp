// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/recovery_settings.h"

#include "config/ini_text.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <tuple>

namespace pingvard {

namespace {

constexpr int32_t kMaxSeconds = kRecoveryMaxSeconds; // keeps every time far from the tick's wrap
constexpr int kMaxArgs = 64;

std::string InDir(const std::string& dir, const std::string& path) {
    return path.empty() || path.front() == '/' ? path : dir + path;
}

// Password, or PasswordFile read and checked; a refused file makes the action unusable.
std::string ReadPassword(TSectionReader& r, const std::string& dir, TActionConfig& config) {
    const std::string file = r.Text("PasswordFile");
    if (file.empty()) {
        return r.Text("Password");
    }
    if (r.Has("Password")) {
        r.Note("has both Password and PasswordFile; using PasswordFile");
    }
    config.PasswordFile = file;
    TSecretFile secret = ReadSecretFile(InDir(dir, file));
    if (!secret.Problem.empty()) {
        r.Problem("PasswordFile", file, secret.Problem + "; the action cannot run");
        config.Problem = secret.Problem;
    }
    return secret.Secret;
}

void ReadSsh(TSectionReader& r, const std::string& dir, TActionConfig& c) {
    TSshSettings& s = c.Ssh;
    s.Host = r.Text("Host");
    s.Port = r.Number("Port", 22, 1, 65535);
    s.User = r.Text("User");
    s.KeyFile = InDir(dir, r.Text("KeyFile"));
    s.Password = ReadPassword(r, dir, c);
    s.HostKeyName = "HostKey";
    s.HostKey = r.Text(s.HostKeyName);
    s.KnownHostsFile = InDir(dir, r.Text("KnownHosts", "known_hosts"));
    s.Command = r.Text("Command", "reboot");
    if (!s.KeyFile.empty() && c.Problem.empty()) {
        c.Problem = PrivateFileProblem(s.KeyFile, "key file");
        if (!c.Problem.empty()) {
            r.Problem("KeyFile", s.KeyFile, c.Problem + "; the action cannot run");
        }
    }
    if (!s.HostKey.empty() && s.HostKey.rfind("SHA256:", 0) != 0) {
        r.Problem("HostKey", s.HostKey, "not a SHA256: fingerprint; the action cannot run");
        c.Problem = "host key setting is not a SHA256 fingerprint";
    }
    if (s.Host.empty() && c.Problem.empty()) {
        r.Note("has no Host; the action cannot run");
        c.Problem = "no host set";
    }
}

// A request made by hand sends credentials only with an Auth scheme; a
// password given without one was meant to be sent.
void ByHandCredentials(TSectionReader& r, THttpSettings& s) {
    if (r.Text("Auth").empty()) {
        r.Note("has a Password but no Auth; using Auth=basic");
        s.Auth = THttpAuth::Basic;
    }
    if (s.User.empty() && s.Auth != THttpAuth::None) {
        r.Note("has a Password but no User; sending it with an empty user name");
    }
}

void ReadHttp(TSectionReader& r, const std::string& dir, TActionConfig& c) {
    THttpSettings& s = c.Http;
    s.Preset =
        static_cast<TPlugPreset>(r.Choice("Preset", {"none", "shelly1", "shelly2", "tasmota"}, 0));
    s.Host = r.Text("Host");
    s.Port = r.Number("Port", 0, 0, 65535);
    s.Https = r.Flag("Https", false);
    s.Channel = r.Number("Channel", 0, 0, 15);
    s.OffTimeS = r.Number("OffTime", 10, 1, s.Preset == TPlugPreset::Tasmota ? 360 : 86400);
    s.Method = r.Text("Method", "GET");
    s.Url = r.Text("Url");
    s.Body = r.Text("Body");
    s.ContentType = r.Text("ContentType");
    s.ExpectStatus = r.Number("Expect", 200, 100, 599);
    s.User = r.Text("User");
    s.Password = ReadPassword(r, dir, c);
    s.Auth = static_cast<THttpAuth>(r.Choice("Auth", {"none", "basic", "digest"}, 0));
    if (s.Preset == TPlugPreset::None && !s.Password.empty()) {
        ByHandCredentials(r, s);
    }
    s.PinnedKey = r.Text("PinnedKey");
    s.CaFile = InDir(dir, r.Text("CaFile"));
    if (!s.PinnedKey.empty() && s.PinnedKey.rfind("sha256//", 0) != 0) {
        r.Problem("PinnedKey", s.PinnedKey, "not sha256//BASE64; the action cannot run");
        c.Problem = "pinned key setting is not sha256//BASE64";
    }
}

void ReadProgram(TSectionReader& r, const std::string&, TActionConfig& c) {
    c.Program.Program = r.Text("Program");
    for (int i = 1; i <= kMaxArgs && r.Has("Arg" + std::to_string(i)); ++i) {
        c.Program.Args.push_back(r.Text("Arg" + std::to_string(i)));
    }

    if (c.Program.Program.empty()) {
        r.Note("has no Program; the action cannot run");
        c.Problem = "no program set";
    }
}

// The telnet kind's device and script are the historic sections'.
void ReadTelnet(TSectionReader&, const std::string&, TActionConfig&) {}

// Each kind's own keys, in the order of kActionKinds.
using TKindReader = void (*)(TSectionReader& r, const std::string& dir, TActionConfig& c);
constexpr TKindReader kKindReaders[] = {ReadTelnet, ReadSsh, ReadHttp, ReadProgram};
static_assert(std::size(kKindReaders) == std::size(kActionKinds), "a reader for every kind");

std::optional<TActionConfig> ReadAction(TSettingsReader& file, TSectionReader& recovery,
                                        const std::string& name, bool alone,
                                        const std::string& dir) {
    TSectionReader r = file.Section("Action." + name);
    TActionConfig c;
    c.Name = name;
    const std::string kindText = r.Text("Kind", name == "telnet" ? "telnet" : "");
    const std::optional<TActionKind> kind = FindActionKind(Lower(kindText));
    if (!kind) {
        if (kindText.empty()) {
            recovery.Note("Actions: " + name + " has no [Action." + name +
                          "] with a Kind; left out");
        } else {
            r.Problem("Kind", kindText, "not " + ActionKindList() + "; left out");
        }
        return std::nullopt;
    }
    c.Kind = *kind;
    const TActionKindInfo& info = KindInfo(c.Kind);
    c.TimeLimitMs = r.Number("TimeLimit", info.TimeLimitS, 1, kMaxSeconds) * 1000;
    c.VerifyMs =
        r.Number("Verify", alone ? info.VerifyAloneS : info.VerifyS, 0, kMaxSeconds) * 1000;
    kKindReaders[static_cast<std::size_t>(c.Kind)](r, dir, c);
    return c;
}

} // namespace

std::string PrivateFileProblem(const std::string& path, const char* what) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::string("cannot read ") + what + " " + path;
    }
    if ((st.st_mode & 077) != 0) {
        return std::string(what) + " " + path + " is open to others (chmod 600 it)";
    }
    return {};
}

TSecretFile ReadSecretFile(const std::string& path) {
    TSecretFile result;
    result.Problem = PrivateFileProblem(path, "password file");
    if (!result.Problem.empty()) {
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    std::getline(in, result.Secret);
    if (!result.Secret.empty() && result.Secret.back() == '\r') {
        result.Secret.pop_back();
    }
    return result;
}

TRecoverySettings ReadRecoverySettings(TCustomIniFile& ini, const std::string& programDir,
                                       const TCancelCheck& cancelled) {
    TRecoverySettings settings;
    TSettingsReader file(ini.Index(), settings.Problems, cancelled);
    TSectionReader recovery = file.Section("Recovery");
    const std::vector<std::string> names = recovery.List("Actions", "telnet");
    settings.Quorum = recovery.Number("Quorum", 0, 0, 4);
    for (const std::string& name : names) {
        file.CheckCancelled();
        if (auto action = ReadAction(file, recovery, name, names.size() == 1, programDir)) {
            settings.Actions.push_back(std::move(*action));
        }
    }
    if (settings.Actions.empty()) {
        recovery.Note("Actions: no usable action; using telnet");
        TActionConfig telnet;
        telnet.Name = "telnet";
        settings.Actions.push_back(telnet); // the historic session's own defaults
    }
    TSectionReader guard = file.Section("Guard");
    const TGuardConfig defaults;
    settings.Guard.HoldOffMs =
        static_cast<uint32_t>(guard.Number(
            "HoldOff", static_cast<int32_t>(defaults.HoldOffMs / 1000), 0, kMaxSeconds)) *
        1000;
    settings.Guard.MaxRounds = guard.Number("MaxRounds", defaults.MaxRounds, 0, kRecoveryMaxRounds);
    settings.Guard.WindowMs =
        static_cast<uint32_t>(guard.Number("Window", static_cast<int32_t>(defaults.WindowMs / 1000),
                                           1, kMaxSeconds)) *
        1000;
    settings.Guard.BackOff = guard.Flag("BackOff", defaults.BackOff);
    return settings;
}

TActionConfig NewActionConfig(TActionKind kind, const std::string& programDir) {
    TActionConfig action;
    action.Kind = kind;
    const TActionKindInfo& info = KindInfo(kind);
    action.TimeLimitMs = info.TimeLimitS * 1000;
    action.VerifyMs = info.VerifyS * 1000;
    action.Ssh.HostKeyName = "HostKey";
    action.Ssh.KnownHostsFile = InDir(programDir, "known_hosts");
    return action;
}

std::vector<uint32_t> VerifyTimes(const TRecoverySettings& settings) {
    std::vector<uint32_t> times;
    for (const TActionConfig& action : settings.Actions) {
        times.push_back(static_cast<uint32_t>(action.VerifyMs));
    }
    return times;
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/ssh_action.h"

#include "recovery/secret_mask.h"

#include <algorithm>
#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <memory>
#include <poll.h>
#include <sstream>

namespace pingvard {

namespace {

constexpr int kPollStepMs = 200; // libssh may hold data it has already read
constexpr std::size_t kMaxOutput = 4096;

struct TSshDeleter {
    void operator()(ssh_session s) const noexcept {
        ssh_disconnect(s);
        ssh_free(s);
    }
    void operator()(ssh_channel c) const noexcept { ssh_channel_free(c); }
    void operator()(ssh_key k) const noexcept { ssh_key_free(k); }
};
using TSession = std::unique_ptr<ssh_session_struct, TSshDeleter>;
using TChannel = std::unique_ptr<ssh_channel_struct, TSshDeleter>;
using TKey = std::unique_ptr<ssh_key_struct, TSshDeleter>;

// Thrown inside one run only, to leave it with the outcome text's reason.
struct TStop {
    std::string Reason;
};

struct TExitState {
    bool StatusSet = false;
    int Status = -1;
    std::string Signal; // "TERM", "KILL"...
};

void OnExitStatus(ssh_session, ssh_channel, int status, void* user) {
    auto* state = static_cast<TExitState*>(user);
    state->StatusSet = true;
    state->Status = status;
}

void OnExitSignal(ssh_session, ssh_channel, const char* signal, int, const char*, const char*,
                  void* user) {
    static_cast<TExitState*>(user)->Signal = signal != nullptr ? signal : "?";
}

class TSshRun {
public:
    TSshRun(const TActionConfig& config, const TTickClock& clock, const TAbortSignal& abort,
            TActionReport& report)
        : m_config(config), m_ssh(config.Ssh), m_clock(clock), m_abort(abort), m_report(report),
          m_start(clock.Now()), m_secrets{config.Ssh.Password} {}

    TRecoveryOutcome Run();

private:
    void Wait();
    template <typename TCall> int Repeat(TCall call, int again);
    void Connect();
    void CheckHostKey();
    void Login();
    TRecoveryOutcome Execute();
    void ReadOutput(ssh_channel channel, int isStderr, bool& eof);
    std::string Masked(const std::string& text) const { return MaskSecrets(text, m_secrets); }
    void Note(const std::string& step, const std::string& entry) {
        m_report.Step(Masked(step));
        m_report.Transcript(Masked(entry));
    }

    const TActionConfig& m_config;
    const TSshSettings& m_ssh;
    const TTickClock& m_clock;
    const TAbortSignal& m_abort;
    TActionReport& m_report;
    const uint32_t m_start;
    const std::vector<std::string> m_secrets;
    TSession m_session{ssh_new()};
    std::string m_output;
    bool m_accepted = false;
};

// Waits until the session's socket may move on, a step passes, Abort, or the
// time limit; throws TStop for the last two.
void TSshRun::Wait() {
    const int64_t left = int64_t{m_config.TimeLimitMs} - TickDifference(m_start, m_clock.Now());
    if (m_abort.Raised()) {
        throw TStop{"aborted"};
    }
    if (left <= 0) {
        throw TStop{(m_accepted ? "command still running on " : "no answer from ") + m_ssh.Host +
                    " after " + std::to_string((m_config.TimeLimitMs + 999) / 1000) + " s"};
    }
    const int fd = ssh_get_fd(m_session.get());
    short events = POLLIN;
    if ((ssh_get_poll_flags(m_session.get()) & SSH_WRITE_PENDING) != 0) {
        events |= POLLOUT;
    }
    pollfd fds[2] = {{m_abort.WaitFd(), POLLIN, 0}, {fd, events, 0}};
    ::poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(left, kPollStepMs)));
}

// Calls a non-blocking libssh function until it stops answering `again`.
template <typename TCall> int TSshRun::Repeat(TCall call, int again) {
    for (;;) {
        const int rc = call();
        if (rc != again) {
            return rc;
        }
        Wait();
    }
}

void TSshRun::Connect() {
    ssh_session s = m_session.get();
    const int port = m_ssh.Port;
    const bool no = false;
    const std::string knownHosts =
        m_ssh.KnownHostsFile.empty() ? "/dev/null" : m_ssh.KnownHostsFile;
    // Only what the settings say: no ~/.ssh/config, no system-wide known hosts.
    ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(s, SSH_OPTIONS_HOST, m_ssh.Host.c_str());
    ssh_options_set(s, SSH_OPTIONS_PORT, &port);
    ssh_options_set(s, SSH_OPTIONS_USER, m_ssh.User.c_str());
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str());
    ssh_options_set(s, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    ssh_set_blocking(s, 0);
    Note("Connecting to " + m_ssh.Host + " port " + std::to_string(port),
         "Connect " + m_ssh.Host + ":" + std::to_string(port));
    if (Repeat([&] { return ssh_connect(s); }, SSH_AGAIN) != SSH_OK) {
        m_report.Transcript(std::string("= ") + ssh_get_error(s));
        throw TStop{"cannot connect to " + m_ssh.Host};
    }
}

void TSshRun::CheckHostKey() {
    ssh_key raw = nullptr;
    if (ssh_get_server_publickey(m_session.get(), &raw) != SSH_OK) {
        throw TStop{"no host key from " + m_ssh.Host};
    }
    const TKey key(raw);
    unsigned char* hash = nullptr;
    size_t length = 0;
    std::string fingerprint = "?";
    if (ssh_get_publickey_hash(key.get(), SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0) {
        char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
        fingerprint = text != nullptr ? text : "?";
        ssh_string_free_char(text);
        ssh_clean_pubkey_hash(&hash);
    }
    m_report.Transcript("Host key " + fingerprint);
    if (!m_ssh.HostKey.empty()) {
        if (fingerprint != m_ssh.HostKey) {
            m_report.Step("Host key " + fingerprint + " is not the pinned " + m_ssh.HostKey);
            throw TStop{"host key of " + m_ssh.Host + " changed"};
        }
        m_report.Step("Host key " + fingerprint + " matches the pinned one");
        return;
    }
    switch (ssh_session_is_known_server(m_session.get())) {
    case SSH_KNOWN_HOSTS_OK:
        m_report.Step("Host key " + fingerprint + " is in " + m_ssh.KnownHostsFile);
        return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        m_report.Step("Host key " + fingerprint + " differs from the one in known_hosts");
        throw TStop{"host key of " + m_ssh.Host + " changed"};
    default:
        m_report.Step("Host key " + fingerprint + " is unknown; pin it with " + m_ssh.HostKeyName +
                      "=" + fingerprint + " once you have checked it on the device");
        throw TStop{"unknown host key of " + m_ssh.Host};
    }
}

void TSshRun::Login() {
    ssh_session s = m_session.get();
    int rc = SSH_AUTH_DENIED;
    if (!m_ssh.KeyFile.empty()) {
        ssh_key raw = nullptr;
        if (ssh_pki_import_privkey_file(m_ssh.KeyFile.c_str(), nullptr, nullptr, nullptr, &raw) !=
            SSH_OK) {
            throw TStop{"cannot read key file " + m_ssh.KeyFile};
        }
        const TKey key(raw);
        Note("Logging in as " + m_ssh.User + " with key " + m_ssh.KeyFile,
             "Login " + m_ssh.User + " with key " + m_ssh.KeyFile);
        rc = Repeat([&] { return ssh_userauth_publickey(s, nullptr, key.get()); }, SSH_AUTH_AGAIN);
    } else {
        Note("Logging in as " + m_ssh.User + " with a password",
             "Login " + m_ssh.User + " with password " + kSecretMask);
        rc = Repeat([&] { return ssh_userauth_password(s, nullptr, m_ssh.Password.c_str()); },
                    SSH_AUTH_AGAIN);
    }
    if (rc != SSH_AUTH_SUCCESS) {
        m_report.Transcript("= login refused");
        throw TStop{"login refused by " + m_ssh.Host};
    }
}

void TSshRun::ReadOutput(ssh_channel channel, int isStderr, bool& eof) {
    char buffer[1024];
    const int got = ssh_channel_read_nonblocking(channel, buffer, sizeof buffer, isStderr);
    if (got > 0) {
        m_output.append(buffer, std::min(static_cast<std::size_t>(got),
                                         kMaxOutput - std::min(kMaxOutput, m_output.size())));
    } else if (got == SSH_EOF) {
        eof = true;
    } else if (got == SSH_ERROR) {
        eof = true; // the connection is gone; the caller finds out how
    }
}

TRecoveryOutcome TSshRun::Execute() {
    ssh_session s = m_session.get();
    const TChannel channel(ssh_channel_new(s));
    if (!channel ||
        Repeat([&] { return ssh_channel_open_session(channel.get()); }, SSH_AGAIN) != SSH_OK) {
        throw TStop{"connection to " + m_ssh.Host + " lost"};
    }
    TExitState exit;
    ssh_channel_callbacks_struct callbacks{};
    callbacks.userdata = &exit;
    callbacks.channel_exit_status_function = OnExitStatus;
    callbacks.channel_exit_signal_function = OnExitSignal;
    ssh_callbacks_init(&callbacks);
    ssh_set_channel_callbacks(channel.get(), &callbacks);
    Note("Running: " + m_ssh.Command, "$ " + m_ssh.Command);
    if (Repeat([&] { return ssh_channel_request_exec(channel.get(), m_ssh.Command.c_str()); },
               SSH_AGAIN) != SSH_OK) {
        throw TStop{"command refused by " + m_ssh.Host};
    }
    m_accepted = true;
    for (bool eof = false;;) {
        const std::size_t before = m_output.size();
        ReadOutput(channel.get(), 0, eof);
        ReadOutput(channel.get(), 1, eof);
        if (eof) {
            // After EOF the reads no longer take in packets; this does, without
            // waiting on a non-blocking session (the exit status and the close
            // usually follow the EOF).
            ssh_channel_get_exit_status(channel.get());
        }
        const bool ended = ssh_channel_is_closed(channel.get()) != 0 || ssh_is_connected(s) == 0 ||
                           (eof && exit.StatusSet);
        if (ended) {
            break;
        }
        if (m_output.size() == before) {
            Wait();
        }
    }
    std::istringstream lines(m_output);
    for (std::string line; std::getline(lines, line);) {
        m_report.Transcript("< " + Masked(line));
    }
    const std::string ok = "Reset OK (" + m_config.Name + ")";
    if (exit.StatusSet) {
        Note("Exit status " + std::to_string(exit.Status),
             "= exit status " + std::to_string(exit.Status));
        if (exit.Status == 0) {
            return Outcome(true, ok);
        }
        throw TStop{"exit status " + std::to_string(exit.Status) + " from " + m_ssh.Host};
    }
    if (!exit.Signal.empty() && exit.Signal != "TERM" && exit.Signal != "HUP" &&
        exit.Signal != "KILL") {
        Note("Killed by SIG" + exit.Signal, "= killed by SIG" + exit.Signal);
        throw TStop{"command on " + m_ssh.Host + " killed by SIG" + exit.Signal};
    }
    Note("The session ended without an exit status: taken as the device restarting",
         "= ended without an exit status" +
             (exit.Signal.empty() ? std::string() : " (SIG" + exit.Signal + ")"));
    return Outcome(true, ok);
}

TRecoveryOutcome TSshRun::Run() {
    if (!m_session) {
        throw TStop{"out of memory"};
    }
    Connect();
    CheckHostKey();
    Login();
    return Execute();
}

} // namespace

TSshAction::TSshAction(TActionConfig config, const TTickClock* clock)
    : m_config(std::move(config)), m_clock(clock != nullptr ? *clock : SystemTickClock()) {}

TRecoveryOutcome TSshAction::Run(TActionReport& report) {
    const std::string fail = "Unable to reset, ";
    if (!m_config.Problem.empty()) {
        return Outcome(false, fail + m_config.Problem);
    }
    if (m_abort.Raised()) {
        return Outcome(false, fail + "aborted");
    }
    try {
        TSshRun run(m_config, m_clock, m_abort, report);
        return run.Run();
    } catch (const TStop& stop) {
        return Outcome(false, fail + stop.Reason);
    } catch (const std::exception&) {
        return Outcome(false, fail + "out of memory");
    }
}

} // namespace pingvard

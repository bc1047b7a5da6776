// SPDX-License-Identifier: GPL-3.0-or-later
// The lab's stand-in for Internet hosts: answers ICMP echo requests on a raw
// socket after a set delay, or drops a set share of them. The kernel here has
// no netem qdisc, so this is how the lab makes slow and lossy links; the
// kernel's own echo answers must be off in the namespace
// (net.ipv4.icmp_echo_ignore_all=1), or every request gets two replies.

#include "lab/echo_packet.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <queue>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace pingvard::lab {
namespace {

using TClock = std::chrono::steady_clock;

struct TResponderSettings {
    int DelayMs = 0;
    double LossPercent = 0;
    TLossMode Mode = TLossMode::Random;
    std::string SettingsFile; // re-read on SIGHUP when set
    bool Quiet = false;
};

struct TPendingReply {
    TClock::time_point Due;
    uint32_t To = 0;   // network order
    uint32_t From = 0; // the address that was pinged, network order
    std::string Icmp;
    bool operator>(const TPendingReply& other) const { return Due > other.Due; }
};

volatile sig_atomic_t g_stopRequested = 0;
volatile sig_atomic_t g_reloadRequested = 0;
volatile sig_atomic_t g_countsRequested = 0;

void OnStop(int) {
    g_stopRequested = 1;
}
void OnReload(int) {
    g_reloadRequested = 1;
}
void OnCounts(int) {
    g_countsRequested = 1;
}

struct TFlowCount {
    unsigned long Requests = 0, Dropped = 0;
};

std::string AddressText(uint32_t address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool ApplySetting(TResponderSettings& s, const std::string& key, const std::string& value) {
    try {
        if (key == "delay")
            s.DelayMs = std::max(0, std::stoi(value));
        else if (key == "loss")
            s.LossPercent = std::stod(value);
        else if (key == "mode" && (value == "even" || value == "random"))
            s.Mode = value == "even" ? TLossMode::Even : TLossMode::Random;
        else
            return false;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Lines "delay=MS", "loss=PCT", "mode=even|random"; unknown lines are reported.
void ReadSettingsFile(TResponderSettings& s) {
    std::ifstream in(s.SettingsFile);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (line.empty() || line[0] == '#')
            continue;
        if (eq == std::string::npos || !ApplySetting(s, line.substr(0, eq), line.substr(eq + 1)))
            std::fprintf(stderr, "echo_responder: ignoring setting '%s'\n", line.c_str());
    }
}

void Usage(FILE* to) {
    std::fputs("usage: echo_responder [--delay MS] [--loss PCT] [--loss-mode even|random]\n"
               "                      [--settings FILE] [--quiet]\n"
               "Answers ICMP echo requests on a raw socket (root or CAP_NET_RAW). The settings\n"
               "file holds delay=, loss= and mode= lines and is read again on SIGHUP;\n"
               "SIGUSR1 prints the requests and drops of each source/destination pair.\n",
               to);
}

bool ParseArguments(int argc, char** argv, TResponderSettings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quiet")
            s.Quiet = true;
        else if (arg == "--settings" && hasValue)
            s.SettingsFile = argv[++i];
        else if (arg == "--delay" && hasValue)
            ApplySetting(s, "delay", argv[++i]);
        else if (arg == "--loss" && hasValue)
            ApplySetting(s, "loss", argv[++i]);
        else if (arg == "--loss-mode" && hasValue) {
            if (!ApplySetting(s, "mode", argv[++i]))
                return false;
        } else
            return false;
    }
    return true;
}

class TEchoResponder {
public:
    explicit TEchoResponder(TResponderSettings settings) : m_settings(std::move(settings)) {}
    ~TEchoResponder() {
        if (m_socket >= 0)
            close(m_socket);
    }
    TEchoResponder(const TEchoResponder&) = delete;
    TEchoResponder& operator=(const TEchoResponder&) = delete;

    bool Open();
    void Run();

private:
    void Reload();
    void PrintCounts() const;
    std::optional<timespec> PollTimeout() const;
    void Receive();
    void SendDue();
    void Send(const TPendingReply& reply);

    TResponderSettings m_settings;
    TLossPattern m_loss;
    int m_socket = -1;
    std::priority_queue<TPendingReply, std::vector<TPendingReply>, std::greater<>> m_pending;
    unsigned long m_received = 0, m_answered = 0, m_dropped = 0;
    std::map<std::pair<uint32_t, uint32_t>, TFlowCount> m_flows; // the loss benchmark's truth
};

bool TEchoResponder::Open() {
    m_socket = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    const int on = 1;
    if (m_socket < 0 || setsockopt(m_socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        std::fprintf(stderr, "echo_responder: raw ICMP socket: %s\n", std::strerror(errno));
        return false;
    }
    Reload();
    return true;
}

void TEchoResponder::Reload() {
    if (!m_settings.SettingsFile.empty())
        ReadSettingsFile(m_settings);
    m_loss.Configure(m_settings.Mode, m_settings.LossPercent);
    if (!m_settings.Quiet)
        std::fprintf(stderr, "echo_responder: delay %d ms, loss %.1f %% (%s)\n", m_settings.DelayMs,
                     m_settings.LossPercent,
                     m_settings.Mode == TLossMode::Even ? "even" : "random");
}

// Nanosecond waits: a millisecond-rounded timeout would add up to 1 ms to
// every delayed reply and spoil the round-trip benchmarks.
std::optional<timespec> TEchoResponder::PollTimeout() const {
    if (m_pending.empty())
        return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(m_pending.top().Due - TClock::now(), TClock::duration::zero()));
    return timespec{static_cast<time_t>(left.count() / 1000000000),
                    static_cast<long>(left.count() % 1000000000)};
}

void TEchoResponder::Run() {
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    for (int sig : {SIGHUP, SIGTERM, SIGINT, SIGUSR1})
        sigaddset(&blocked, sig);
    // Signals stay blocked except inside ppoll, so none slips in between the
    // flag checks and the wait.
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    while (!g_stopRequested) {
        if (g_reloadRequested) {
            g_reloadRequested = 0;
            Reload();
        }
        if (g_countsRequested) {
            g_countsRequested = 0;
            PrintCounts();
        }
        pollfd fd{m_socket, POLLIN, 0};
        const std::optional<timespec> timeout = PollTimeout();
        const int ready = ppoll(&fd, 1, timeout ? &*timeout : nullptr, &waitMask);
        if (ready > 0)
            Receive();
        SendDue();
    }
    if (!m_settings.Quiet)
        std::fprintf(stderr, "echo_responder: %lu requests, %lu answered, %lu dropped\n",
                     m_received, m_answered, m_dropped);
    PrintCounts();
}

// One line per source/destination pair: "flow SRC DST requests=N dropped=N".
void TEchoResponder::PrintCounts() const {
    for (const auto& [flow, count] : m_flows)
        std::fprintf(stderr, "flow %s %s requests=%lu dropped=%lu\n",
                     AddressText(flow.first).c_str(), AddressText(flow.second).c_str(),
                     count.Requests, count.Dropped);
    std::fflush(stderr);
}

void TEchoResponder::Receive() {
    char buffer[65536];
    char control[256];
    iovec iov{buffer, sizeof buffer};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(m_socket, &msg, MSG_DONTWAIT);
    if (n <= 0)
        return;
    const auto request = ParseEchoRequest(std::string_view(buffer, static_cast<size_t>(n)));
    if (!request)
        return;
    ++m_received;
    TFlowCount& flow = m_flows[{request->Source, request->Destination}];
    ++flow.Requests;
    if (m_loss.Drop(*request)) {
        ++m_dropped;
        ++flow.Dropped;
        return;
    }
    m_pending.push({TClock::now() + std::chrono::milliseconds(m_settings.DelayMs), request->Source,
                    request->Destination, BuildEchoReply(request->Icmp)});
}

void TEchoResponder::SendDue() {
    while (!m_pending.empty() && m_pending.top().Due <= TClock::now()) {
        Send(m_pending.top());
        m_pending.pop();
    }
}

// The reply leaves from the address that was pinged (IP_PKTINFO), since one
// namespace stands in for several hosts.
void TEchoResponder::Send(const TPendingReply& reply) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = reply.To;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec iov{const_cast<char*>(reply.Icmp.data()), reply.Icmp.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
    cmsg->cmsg_level = IPPROTO_IP;
    cmsg->cmsg_type = IP_PKTINFO;
    cmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = reply.From;
    std::memcpy(CMSG_DATA(cmsg), &info, sizeof info);
    ssize_t sent;
    do
        sent = sendmsg(m_socket, &msg, 0);
    while (sent < 0 && errno == EINTR);
    if (sent >= 0)
        ++m_answered;
}

} // namespace
} // namespace pingvard::lab

int main(int argc, char** argv) {
    using namespace pingvard::lab;
    TResponderSettings settings;
    if (!ParseArguments(argc, argv, settings)) {
        Usage(stderr);
        return 2;
    }
    struct sigaction stop {
    }, reload{};
    stop.sa_handler = OnStop;
    reload.sa_handler = OnReload;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGHUP, &reload, nullptr);
    struct sigaction counts {};
    counts.sa_handler = OnCounts;
    sigaction(SIGUSR1, &counts, nullptr);
    TEchoResponder responder(std::move(settings));
    if (!responder.Open())
        return 1;
    responder.Run();
    return 0;
}

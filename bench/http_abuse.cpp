// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile clients against an HTTP listener, and the time a scrape takes while
// they are there. One reference scrape first, then the abuse (held open: a
// connection the server closes is opened again at once, as an attacker would),
// then SCRAPES scrapes one after another on fresh connections, then the abuse
// is held HOLD seconds more (a caller measures the server's stop meanwhile).
//
//   http_abuse ADDRESS PORT (--idle N | --slowloris N | --burst N) [--scrapes K]
//              [--path P]... [--hold SECONDS] [--settle MS] [--timeout SECONDS]
//
// --idle: connections that send nothing. --slowloris: connections that send a
// request line and then one byte of header every 500 ms, never ending the head.
// --burst: N connects as fast as the kernel takes them, all held open (none
// reopened), the scrapes straight after. --path (repeated): the paths scraped
// in turn, /metrics when none is given. Prints one line per scrape and a
// summary "scrapes=K ok=K median_ms=... max_ms=... reference_ms=..." (with
// several paths, one more line per path); exit 0 when every scrape got a 200
// answer.
//
// Loopback or a namespace's own addresses only: it is aimed at the program
// under test.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stop{false};

struct TTarget {
    sockaddr_storage Address{};
    socklen_t Length = 0;
    std::string HostHeader;
};

std::optional<TTarget> MakeTarget(const std::string& address, int port) {
    TTarget t;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&t.Address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&t.Address);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        t.Length = sizeof *v4;
        t.HostHeader = address + ":" + std::to_string(port);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        t.Length = sizeof *v6;
        t.HostHeader = "[" + address + "]:" + std::to_string(port);
    } else {
        return std::nullopt;
    }
    return t;
}

// A non-blocking connect under way (or done): the descriptor, or -1.
int StartConnect(const TTarget& target) {
    const int fd =
        ::socket(target.Address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target.Address), target.Length) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
}

struct TScrape {
    int Status = 0; // 0: no answer
    double Ms = 0;
    std::size_t Bytes = 0;
};

// One GET on a fresh connection, read to the end of the answer.
TScrape Scrape(const TTarget& target, const std::string& path, int timeoutS) {
    TScrape result;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(timeoutS);
    const int fd = StartConnect(target);
    if (fd < 0) {
        return result;
    }
    std::string reply;
    if (WaitFor(fd, POLLOUT, deadline)) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + target.HostHeader +
                                    "\r\nUser-Agent: http_abuse\r\nConnection: close\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char buffer[16384];
            while (WaitFor(fd, POLLIN, deadline)) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                reply.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(fd);
    result.Ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (reply.rfind("HTTP/1.", 0) == 0 && reply.size() > 12) {
        result.Status = std::atoi(reply.c_str() + 9);
        const std::size_t head = reply.find("\r\n\r\n");
        result.Bytes = head == std::string::npos ? 0 : reply.size() - head - 4;
    }
    return result;
}

enum class TMode { Idle, Slowloris, Burst };

struct TAbuser {
    int Fd = -1;
    bool Connected = false;
    std::size_t Sent = 0;
    Clock::time_point Next;
};

// Keeps `count` hostile connections open until g_stop; counts reopenings.
class TAbuse {
public:
    TAbuse(const TTarget& target, TMode mode, int count)
        : m_target(target), m_mode(mode), m_clients(static_cast<std::size_t>(count)) {}
    ~TAbuse() {
        for (TAbuser& c : m_clients) {
            if (c.Fd >= 0) {
                ::close(c.Fd);
            }
        }
    }

    void Open() {
        for (TAbuser& c : m_clients) {
            Reopen(c);
        }
    }
    std::size_t Connected() const {
        return static_cast<std::size_t>(std::count_if(
            m_clients.begin(), m_clients.end(), [](const TAbuser& c) { return c.Connected; }));
    }
    unsigned long Reopened() const { return m_reopened; }

    // One pass of at most 50 ms: reopen what the server closed, trickle.
    void Step() {
        std::vector<pollfd> fds;
        fds.reserve(m_clients.size());
        for (TAbuser& c : m_clients) {
            fds.push_back({c.Fd, static_cast<short>(c.Connected ? POLLIN : POLLOUT), 0});
        }
        ::poll(fds.data(), fds.size(), 50);
        const auto now = Clock::now();
        for (std::size_t i = 0; i < m_clients.size(); ++i) {
            TAbuser& c = m_clients[i];
            if (c.Fd < 0) {
                if (now >= c.Next) {
                    Reopen(c);
                }
                continue;
            }
            const short re = fds[i].revents;
            if (re & (POLLERR | POLLHUP | POLLNVAL)) {
                Reopen(c);
                continue;
            }
            if (!c.Connected && (re & POLLOUT)) {
                c.Connected = true;
                c.Next = now;
            }
            if (c.Connected && (re & POLLIN)) {
                char buffer[4096];
                if (::recv(c.Fd, buffer, sizeof buffer, 0) <= 0) { // closed (or answered 408)
                    Reopen(c);
                    continue;
                }
            }
            if (m_mode == TMode::Slowloris && c.Connected && now >= c.Next) {
                Trickle(c, now);
            }
        }
    }

private:
    static constexpr const char* kHead = "GET /metrics HTTP/1.1\r\nHost: abuse\r\n";
    static constexpr const char* kTrickle = "X-a: b\r\n";

    // A connection the server refused is tried again 50 ms later, not in a
    // loop that would eat the CPU the server needs.
    void Reopen(TAbuser& c) {
        const bool refused = c.Fd >= 0 && !c.Connected;
        if (c.Fd >= 0) {
            ::close(c.Fd);
            ++m_reopened;
        }
        c = TAbuser{};
        if (refused) {
            c.Next = Clock::now() + std::chrono::milliseconds(50);
        } else {
            c.Fd = StartConnect(m_target);
        }
    }
    void Trickle(TAbuser& c, Clock::time_point now) {
        const std::string head = kHead;
        const std::string trickle = kTrickle;
        std::string bytes;
        if (c.Sent == 0) {
            bytes = head;
        } else {
            bytes = trickle.substr((c.Sent - head.size()) % trickle.size(), 1);
        }
        if (::send(c.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0) {
            c.Sent += bytes.size();
        }
        c.Next = now + std::chrono::milliseconds(500);
    }

    const TTarget& m_target;
    const TMode m_mode;
    std::vector<TAbuser> m_clients;
    unsigned long m_reopened = 0;
};

// N connects, kept in `held`; returns how many were established (a reset by
// a listener that made room for others counts: it was).
int Burst(const TTarget& target, int count, std::vector<int>& held) {
    int done = 0;
    constexpr int kWave = 500;
    for (int started = 0; started < count && !g_stop;) {
        std::vector<int> wave;
        for (int i = 0; i < kWave && started < count; ++i, ++started) {
            const int fd = StartConnect(target);
            if (fd >= 0) {
                wave.push_back(fd);
            }
        }
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        for (const int fd : wave) {
            if (WaitFor(fd, POLLOUT, deadline)) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                done += error == 0 || error == ECONNRESET ? 1 : 0;
            }
            held.push_back(fd);
        }
    }
    return done;
}

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void Usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s ADDRESS PORT (--idle N | --slowloris N | --burst N) [--scrapes K]\n"
                 "       [--path P]... [--hold SECONDS] [--settle MS] [--timeout SECONDS]\n",
                 self);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        Usage(argv[0]);
        return 2;
    }
    const auto target = MakeTarget(argv[1], std::atoi(argv[2]));
    TMode mode = TMode::Idle;
    int count = 0, scrapes = 3, hold = 0, settleMs = 1000, timeoutS = 60;
    std::vector<std::string> paths; // scraped in turn; /metrics when none is given
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--idle" || option == "--slowloris" || option == "--burst") {
            mode = option == "--idle"        ? TMode::Idle
                   : option == "--slowloris" ? TMode::Slowloris
                                             : TMode::Burst;
            count = std::atoi(value);
        } else if (option == "--scrapes") {
            scrapes = std::atoi(value);
        } else if (option == "--path") {
            paths.emplace_back(value);
        } else if (option == "--hold") {
            hold = std::atoi(value);
        } else if (option == "--settle") {
            settleMs = std::atoi(value);
        } else if (option == "--timeout") {
            timeoutS = std::atoi(value);
        } else {
            Usage(argv[0]);
            return 2;
        }
    }
    if (paths.empty()) {
        paths.emplace_back("/metrics");
    }
    if (!target || count <= 0) {
        Usage(argv[0]);
        return 2;
    }
    std::signal(SIGTERM, [](int) { g_stop = true; });
    std::signal(SIGINT, [](int) { g_stop = true; });
    std::signal(SIGPIPE, SIG_IGN);
    RaiseDescriptorLimit();

    std::vector<TScrape> references;
    for (const std::string& path : paths) {
        references.push_back(Scrape(*target, path, timeoutS));
        const TScrape& r = references.back();
        std::printf("reference scrape %s: %d in %.1f ms (%zu bytes)\n", path.c_str(), r.Status,
                    r.Ms, r.Bytes);
    }
    std::fflush(stdout);

    TAbuse abuse(*target, mode, mode == TMode::Burst ? 1 : count);
    std::atomic<bool> scraping{true};
    std::vector<TScrape> results;
    std::vector<int> held;
    if (mode == TMode::Burst) {
        const int done = Burst(*target, count, held);
        std::printf("abuse: %d of %d connects of the burst established\n", done, count);
    } else {
        abuse.Open();
        const auto settled = Clock::now() + std::chrono::milliseconds(settleMs);
        while (Clock::now() < settled && !g_stop) {
            abuse.Step();
        }
        std::printf("abuse: %zu of %d %s connections open\n", abuse.Connected(), count,
                    mode == TMode::Idle ? "idle" : "slowloris");
    }
    std::fflush(stdout);
    std::thread scraper([&] {
        for (int i = 0; i < scrapes && !g_stop; ++i) {
            const std::string& path = paths[static_cast<std::size_t>(i) % paths.size()];
            results.push_back(Scrape(*target, path, timeoutS));
            const TScrape& s = results.back();
            std::printf("scrape %d %s: %d in %.1f ms (%zu bytes)\n", i + 1, path.c_str(), s.Status,
                        s.Ms, s.Bytes);
            std::fflush(stdout);
        }
        scraping = false;
    });
    const auto holdUntil = [&] { return Clock::now() + std::chrono::seconds(hold); };
    auto until = Clock::time_point::max();
    while (!g_stop && Clock::now() < until) {
        if (mode != TMode::Burst) {
            abuse.Step();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!scraping && until == Clock::time_point::max()) {
            until = holdUntil();
            std::printf("holding\n");
            std::fflush(stdout);
        }
    }
    g_stop = true;
    scraper.join();
    for (const int fd : held) {
        ::close(fd);
    }

    std::vector<double> ms;
    int ok = 0;
    for (const TScrape& s : results) {
        ms.push_back(s.Ms);
        ok += s.Status == 200 ? 1 : 0;
    }
    std::printf("scrapes=%zu ok=%d median_ms=%.1f max_ms=%.1f reference_ms=%.1f reopened=%lu\n",
                results.size(), ok, Median(ms),
                ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()), references[0].Ms,
                abuse.Reopened());
    for (std::size_t p = 0; p < paths.size() && paths.size() > 1; ++p) {
        std::vector<double> each;
        for (std::size_t i = p; i < results.size(); i += paths.size()) {
            each.push_back(results[i].Ms);
        }
        std::printf("  %s: median_ms=%.1f max_ms=%.1f reference_ms=%.1f\n", paths[p].c_str(),
                    Median(each), each.empty() ? 0 : *std::max_element(each.begin(), each.end()),
                    references[p].Ms);
    }
    return ok == scrapes && scrapes > 0 ? 0 : 1;
}

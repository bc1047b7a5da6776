// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzer for ReceiveUntil over real loopback TCP, the stream delivered in chunks
// the fuzzer chooses. Each ReceiveUntil runs with a zero time-out; when it ends
// without its terminator the next chunk is written and the same call is made
// again. The results, and what stays in PendingInput at the end, must be those
// of the unsplit stream: no byte lost or duplicated between calls, also through
// the telnet receive filter and once the peer has closed. With a small
// MaxPendingInput the results may lose their oldest bytes, but never their end,
// and the pending text stays within the bound.
#include "net/blocking_socket.h"
#include "net/socket_errors.h"
#include "net/tcp_socket.h"
#include "net/telnet/telnet_parser.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "receive until: %s\n", what);
    std::abort();
}

// One listening socket on 127.0.0.1 for the whole run.
class TListener {
public:
    TListener() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (m_fd < 0 || bind(m_fd, raw, length) != 0 || listen(m_fd, 8) != 0 ||
            getsockname(m_fd, raw, &length) != 0) {
            Fail("cannot listen on 127.0.0.1");
        }
        Port = std::to_string(ntohs(address.sin_port));
    }
    ~TListener() { close(m_fd); }
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    // The server end of the connection just made; closed with a reset so no
    // TIME_WAIT is left behind by hundreds of thousands of runs.
    int Accept() const {
        int fd = -1;
        do {
            fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        const linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return fd;
    }

    std::string Port;

private:
    int m_fd = -1;
};

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("peer write failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

struct TCase {
    bool telnet = false;
    std::size_t maxPending = 0; // 0: the socket's default bound
    std::vector<std::string> terminators;
    std::vector<std::size_t> cuts;
    std::string stream;

    const std::string& Terminator(std::size_t call) const {
        return terminators[call % terminators.size()];
    }
};

TCase Decode(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    TCase c;
    c.telnet = input.ConsumeBool();
    if (input.ConsumeBool()) {
        c.maxPending = input.ConsumeIntegralInRange<std::size_t>(1, 64);
    }
    const int count = input.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < count; ++i) {
        std::string terminator = input.ConsumeRandomLengthString(6);
        c.terminators.push_back(terminator.empty() ? std::string("\n") : terminator);
    }
    uint64_t state = input.ConsumeIntegral<uint64_t>() | 1;
    c.stream = input.ConsumeRemainingBytesAsString();
    for (std::size_t at = 0; at < c.stream.size();) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        at += 1 + state % 9;
        if (at < c.stream.size()) {
            c.cuts.push_back(at);
        }
    }
    return c;
}

struct TOutcome {
    std::vector<std::string> results;
    std::string pending;
};

// The unsplit stream, searched call by call.
TOutcome Expected(const TCase& c) {
    std::string text = c.stream;
    if (c.telnet) {
        text = pingvard::TTelnetParser().Process(text).Data;
    }
    TOutcome out;
    std::size_t pos = 0;
    for (;;) {
        const std::string& terminator = c.Terminator(out.results.size());
        const std::size_t found = text.find(terminator, pos);
        if (found == std::string::npos) {
            break;
        }
        out.results.push_back(text.substr(pos, found - pos));
        pos = found + terminator.size();
    }
    out.pending = text.substr(pos);
    return out;
}

bool IsSuffix(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() &&
           whole.compare(whole.size() - part.size(), part.size(), part) == 0;
}

void CheckBound(const pingvard::TTcpSocket& socket, const TCase& c, std::size_t call) {
    const std::size_t bound = std::max(c.maxPending, c.Terminator(call).size() - 1);
    if (c.maxPending != 0 && socket.PendingInput.size() > bound) {
        Fail("pending text beyond MaxPendingInput after a call without its terminator");
    }
}

TOutcome RunChunked(const TCase& c, pingvard::TTcpSocket& socket, int peer) {
    pingvard::TTelnetParser parser;
    if (c.telnet) {
        socket.OnReceiveFilter = [&parser](pingvard::TBlockingSocket&, std::string& chunk) {
            chunk = parser.Process(chunk).Data;
        };
    }
    if (c.maxPending != 0) {
        socket.MaxPendingInput = c.maxPending;
    }
    TOutcome out;
    std::size_t next = 0; // index of the next chunk to deliver
    std::size_t begin = 0;
    for (;;) {
        std::string result = socket.ReceiveUntil(0, c.Terminator(out.results.size()));
        if (socket.LastErrorCode() == 0) {
            out.results.push_back(std::move(result));
            continue;
        }
        if (socket.LastErrorCode() != pingvard::kWsaEtimedout || !result.empty()) {
            Fail("a call without its terminator did not end empty with 10060");
        }
        CheckBound(socket, c, out.results.size());
        if (next > c.cuts.size()) {
            break;
        }
        const std::size_t end = next < c.cuts.size() ? c.cuts[next] : c.stream.size();
        WriteAll(peer, std::string_view(c.stream).substr(begin, end - begin));
        begin = end;
        ++next;
    }
    out.pending = socket.PendingInput;
    return out;
}

void CheckPeerClosed(pingvard::TTcpSocket& socket, const TCase& c, std::size_t call, int peer) {
    const std::string before = socket.PendingInput;
    shutdown(peer, SHUT_WR);
    for (int i = 0; i < 2; ++i) {
        const std::string result = socket.ReceiveUntil(0, c.Terminator(call));
        if (socket.LastErrorCode() != pingvard::kWsaEconnreset || !result.empty()) {
            Fail("after the peer closed, ReceiveUntil did not end empty with 10054");
        }
        if (socket.PendingInput != before && c.maxPending == 0) {
            Fail("the peer's close lost pending text");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const TListener listener;
    const TCase c = Decode(data, size);
    const TOutcome expected = Expected(c);

    pingvard::TTcpSocket socket;
    socket.ConnectTo("127.0.0.1", listener.Port);
    if (socket.LastErrorCode() != 0) {
        Fail("cannot connect to the loopback listener");
    }
    const int peer = listener.Accept();
    const TOutcome actual = RunChunked(c, socket, peer);

    if (actual.results.size() != expected.results.size()) {
        Fail("a different number of terminators was found than in the unsplit stream");
    }
    for (std::size_t i = 0; i < actual.results.size(); ++i) {
        const bool same = c.maxPending == 0 ? actual.results[i] == expected.results[i]
                                            : IsSuffix(actual.results[i], expected.results[i]);
        if (!same) {
            Fail("a result differs from the unsplit stream's");
        }
    }
    if (c.maxPending == 0 ? actual.pending != expected.pending
                          : !IsSuffix(actual.pending, expected.pending)) {
        Fail("the pending text differs from the rest of the unsplit stream");
    }
    CheckPeerClosed(socket, c, actual.results.size(), peer);
    close(peer);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/blocking_socket.h"

#include "net/host_lookup.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pingvard {
namespace {

constexpr std::size_t kDatagramBufferSize = 64 * 1024;
constexpr std::size_t kStreamChunkDefault = 16 * 1024; // when the OS cannot say
// Without a self-pipe, waits are cut into slices this long to look at the flag.
constexpr int kAbortPollSliceMs = 10;
// A timed wait looks at Clock() at least this often, so that a deadline on an
// injected clock (tests run the 60 s limit in a moment) is seen in time.
constexpr int kClockSliceMs = 100;
constexpr int kSendWaitSliceMs = 100;

// Milliseconds from now to deadlineTick, 0 once it has passed. A tick counts
// whole milliseconds, so a poll() of the result never ends before the tick.
int RemainingMs(const TTickClock& clock, uint32_t deadlineTick) {
    return std::max(static_cast<int32_t>(deadlineTick - clock.Now()), 0);
}

// The tick timeoutMs (>= 0) from now.
uint32_t DeadlineTick(const TTickClock& clock, int timeoutMs) {
    return clock.Now() + static_cast<uint32_t>(timeoutMs);
}

const sockaddr* ChosenAddress(const SocketAddress& address, socklen_t& length) {
    if (address.UseIPv6) {
        length = sizeof address.IPv6Address;
        return reinterpret_cast<const sockaddr*>(&address.IPv6Address);
    }
    length = sizeof address.IPv4Address;
    return reinterpret_cast<const sockaddr*>(&address.IPv4Address);
}

SocketAddress FromStorage(const sockaddr_storage& storage) {
    SocketAddress address;
    if (storage.ss_family == AF_INET6) {
        address.HasIPv6 = true;
        address.UseIPv6 = true;
        std::memcpy(&address.IPv6Address, &storage, sizeof address.IPv6Address);
    } else if (storage.ss_family == AF_INET) {
        address.HasIPv4 = true;
        std::memcpy(&address.IPv4Address, &storage, sizeof address.IPv4Address);
    }
    return address;
}

// A port as text: a decimal number, or a service name of /etc/services (for
// the protocol of the socket type). False when it is neither.
bool PortNumber(const std::string& port, int socketType, uint16_t& number) {
    if (!port.empty() && port.size() <= 5 &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned long value = std::stoul(port);
        number = static_cast<uint16_t>(value);
        return value <= 0xFFFF;
    }
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    const char* protocol = socketType == SOCK_DGRAM ? "udp" : "tcp";
    if (::getservbyname_r(port.c_str(), protocol, &entry, buffer, sizeof buffer, &found) != 0 ||
        found == nullptr) {
        return false;
    }
    number = ntohs(static_cast<uint16_t>(found->s_port));
    return true;
}

// The wildcard ("0.0.0.0", for a bind) or loopback ("127.0.0.1") address of
// each wanted family: the two texts stand for either family.
std::vector<sockaddr_storage> SpecialAddresses(bool wildcard, int family) {
    std::vector<sockaddr_storage> found;
    if (family != AF_INET6) {
        sockaddr_storage storage{};
        auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(wildcard ? INADDR_ANY : INADDR_LOOPBACK);
        found.push_back(storage);
    }
    if (family != AF_INET) {
        sockaddr_storage storage{};
        auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = wildcard ? in6addr_any : in6addr_loopback;
        found.push_back(storage);
    }
    return found;
}

} // namespace

std::string AddressText(const SocketAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.UseIPv6 && address.HasIPv6) {
        ::inet_ntop(AF_INET6, &address.IPv6Address.sin6_addr, text, sizeof text);
    } else if (!address.UseIPv6 && address.HasIPv4) {
        ::inet_ntop(AF_INET, &address.IPv4Address.sin_addr, text, sizeof text);
    }
    return text;
}

int AddressPort(const SocketAddress& address) {
    if (address.UseIPv6) {
        return address.HasIPv6 ? ntohs(address.IPv6Address.sin6_port) : 0;
    }
    return address.HasIPv4 ? ntohs(address.IPv4Address.sin_port) : 0;
}

TBlockingSocket::TBlockingSocket() = default;

TBlockingSocket::~TBlockingSocket() {
    CloseOsSocket();
}

// --- bookkeeping ---------------------------------------------------------------

void TBlockingSocket::SetLastError(int code) {
    m_lastError = code;
    m_lastErrorText = code == 0 ? std::string() : ErrorDescription(code);
}

void TBlockingSocket::CheckResult(long value, int err) {
    SetLastError(value == -1 ? WinsockFromErrno(err) : 0);
}

void TBlockingSocket::RaiseIfFailed() {
    m_lastErrorText.clear();
    if (RaiseOnError && m_lastError != 0 && m_lastError != kWsaEwouldblock &&
        m_lastError != kWsaEinprogress) {
        m_lastErrorText = ErrorDescription(m_lastError);
        throw ESocketError("TCP/IP Socket error " + std::to_string(m_lastError) + ": " +
                               m_lastErrorText,
                           m_lastError, m_lastErrorText);
    }
}

void TBlockingSocket::Notify(TSocketStatus reason, const std::string& value) {
    if (OnStatusChange) {
        OnStatusChange(*this, reason, value);
    }
}

bool TBlockingSocket::IsStream() const {
    return SocketType() == SOCK_STREAM;
}

bool TBlockingSocket::ResolvesHostOnly() const {
    return SocketType() == SOCK_RAW;
}

void TBlockingSocket::Abort() noexcept {
    m_abort.Raise();
}

void TBlockingSocket::ClearAbort() noexcept {
    m_abort.Clear();
}

// --- waiting ---------------------------------------------------------------------

int TBlockingSocket::WaitFor(short events, int timeoutMs) {
    if (m_abort.Raised()) {
        SetLastError(kWsaEintr);
        return -1;
    }
    const bool unlimited = timeoutMs < 0;
    const uint32_t deadline = DeadlineTick(Clock(), unlimited ? 0 : timeoutMs);
    const int abortFd = m_abort.WaitFd();
    for (;;) {
        pollfd fds[2] = {{m_handle, events, 0}, {abortFd, POLLIN, 0}};
        int wait = unlimited ? -1 : std::min(RemainingMs(Clock(), deadline), kClockSliceMs);
        if (abortFd < 0 && (wait < 0 || wait > kAbortPollSliceMs)) {
            wait = kAbortPollSliceMs;
        }
        const int ready = ::poll(fds, abortFd >= 0 ? 2 : 1, wait);
        if (m_abort.Raised()) {
            SetLastError(kWsaEintr);
            return -1;
        }
        if (ready < 0 && errno != EINTR) {
            CheckResult(-1, errno);
            return -1;
        }
        if (ready > 0 && fds[0].revents != 0) {
            SetLastError(0);
            return 1;
        }
        if (!unlimited && RemainingMs(Clock(), deadline) == 0) {
            SetLastError(0);
            return 0;
        }
    }
}

bool TBlockingSocket::WaitReadable(int timeoutMs) {
    if (m_handle < 0) {
        SetLastError(m_abort.Raised() ? kWsaEintr : kWsaEnotsock);
        return false;
    }
    const bool readable = WaitFor(POLLIN, timeoutMs) == 1;
    if (readable) {
        Notify(TSocketStatus::CanRead, "");
    }
    return readable && m_lastError == 0;
}

int TBlockingSocket::BytesWaiting() {
    int count = 0;
    if (m_handle < 0 || ::ioctl(m_handle, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

// --- socket life -----------------------------------------------------------------

int TBlockingSocket::CreateOsSocket(int family) {
    return ::socket(family, SocketType(), SocketProtocol());
}

void TBlockingSocket::OpenSocket(const SocketAddress& address) {
    SetLastError(0);
    if (m_handle >= 0) {
        return;
    }
    PendingInput.clear();
    m_usesIPv6 = address.UseIPv6;
    const int fd = CreateOsSocket(m_usesIPv6 ? AF_INET6 : AF_INET);
    if (fd < 0) {
        CheckResult(-1, errno);
        RaiseIfFailed();
        return;
    }
    m_handle = fd;
    // Non-blocking underneath: every wait happens in poll(), next to the abort pipe.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    Notify(TSocketStatus::SocketCreated, m_usesIPv6 ? "IPv6" : "IPv4");
    for (const auto& [option, value] : m_queuedOptions) {
        const int32_t v = value;
        ::setsockopt(fd, SOL_SOCKET, option, &v, sizeof v); // errors ignored, as designed
    }
    m_queuedOptions.clear();
    if (OnSocketCreated) {
        OnSocketCreated(*this);
    }
}

void TBlockingSocket::CloseOsSocket() noexcept {
    if (m_handle >= 0) {
        // Don't retry close on EINTR: the descriptor may already be reused.
        ::close(m_handle);
        m_handle = -1;
    }
}

void TBlockingSocket::Disconnect() {
    const bool hadSocket = m_handle >= 0;
    CloseOsSocket();
    m_queuedOptions.clear();
    AddressFamily = 0;
    SetLastError(0);
    if (hadSocket) {
        Notify(TSocketStatus::SocketClosed, "");
    }
}

void TBlockingSocket::SetReceiveBufferSize(int32_t size) {
    if (m_handle < 0) {
        m_queuedOptions.emplace_back(SO_RCVBUF, size);
        return;
    }
    ::setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void TBlockingSocket::ReadAddresses() {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr*>(&storage), &length) == 0) {
        LocalAddress = FromStorage(storage);
    }
    storage = {};
    length = sizeof storage;
    if (::getpeername(m_handle, reinterpret_cast<sockaddr*>(&storage), &length) == 0) {
        RemoteAddress = FromStorage(storage);
    }
}

// --- resolution ------------------------------------------------------------------

SocketAddress TBlockingSocket::ResolveAddress(const std::string& host, const std::string& port) {
    // The family of an existing socket is fixed: ask only for that one.
    return Resolve(host, port, m_handle >= 0 ? (m_usesIPv6 ? AF_INET6 : AF_INET) : WantedFamily());
}

int TBlockingSocket::WantedFamily() const {
    return AddressFamily == 1 ? AF_INET : AddressFamily == 2 ? AF_INET6 : AF_UNSPEC;
}

SocketAddress TBlockingSocket::Resolve(const std::string& host, const std::string& port,
                                       int family) {
    Notify(TSocketStatus::ResolveBegin, host + ":" + port);
    SocketAddress address;
    uint16_t portNumber = 0;
    std::vector<sockaddr_storage> found;
    m_resolveError = 0;
    if (!ResolvesHostOnly() && !PortNumber(port, SocketType(), portNumber)) {
        m_resolveError = kWsaHostNotFound;
    } else if (!ResolvesHostOnly() && (host == "0.0.0.0" || host == "127.0.0.1")) {
        found = SpecialAddresses(host == "0.0.0.0", family);
    } else {
        TLookupOptions options;
        options.Family = family;
        options.TimeoutMs = ResolveTimeout;
        options.Abort = &m_abort;
        TLookupResult lookup = LookupHost(host, options);
        m_resolveError = lookup.Error;
        found = std::move(lookup.Addresses);
    }
    for (const sockaddr_storage& entry : found) {
        if (entry.ss_family == AF_INET && !address.HasIPv4) {
            std::memcpy(&address.IPv4Address, &entry, sizeof address.IPv4Address);
            address.IPv4Address.sin_port = htons(portNumber);
            address.HasIPv4 = true;
        } else if (entry.ss_family == AF_INET6 && !address.HasIPv6) {
            std::memcpy(&address.IPv6Address, &entry, sizeof address.IPv6Address);
            address.IPv6Address.sin6_port = htons(portNumber);
            address.HasIPv6 = true;
        }
    }
    if (!address.Empty()) {
        address.UseIPv6 = PreferIPv4 ? !address.HasIPv4 : address.HasIPv6;
    } else if (m_resolveError == 0) {
        m_resolveError = kWsaHostNotFound;
    }
    Notify(TSocketStatus::ResolveEnd, host + ":" + port);
    return address;
}

// --- bind / connect --------------------------------------------------------------

bool TBlockingSocket::ResolveAndOpen(const std::string& host, const std::string& port,
                                     SocketAddress& resolved, bool followPeer) {
    followPeer = followPeer && m_handle >= 0;
    resolved = followPeer ? Resolve(host, port, WantedFamily()) : ResolveAddress(host, port);
    if (resolved.Empty()) {
        // Nothing resolved: fail here rather than bind or connect to an empty address.
        SetLastError(m_resolveError);
        RaiseIfFailed();
        return false;
    }
    if (followPeer && resolved.UseIPv6 != m_usesIPv6) {
        // A socket of the old family can never reach this peer.
        Disconnect();
    }
    OpenSocket(resolved);
    return m_lastError == 0;
}

void TBlockingSocket::BindTo(const std::string& address, const std::string& port) {
    SetLastError(0);
    if (m_handle < 0 && AddressFamily == 0 && address == "0.0.0.0" && port == "0") {
        return; // nothing to bind: the OS picks the address at connect
    }
    SocketAddress resolved;
    if (!ResolveAndOpen(address, port, resolved)) {
        return;
    }
    socklen_t length = 0;
    const sockaddr* target = ChosenAddress(resolved, length);
    // The call first: as one argument list, errno could be read before bind ran.
    const int bound = ::bind(m_handle, target, length);
    CheckResult(bound, errno);
    ReadAddresses();
    PendingInput.clear();
    Notify(TSocketStatus::Bound, address + ":" + port);
    RaiseIfFailed();
}

void TBlockingSocket::ConnectTo(const std::string& host, const std::string& port) {
    if (m_abort.Raised()) {
        SetLastError(kWsaEintr);
        return;
    }
    SocketAddress resolved;
    if (!ResolveAndOpen(host, port, resolved, FollowPeerFamily)) {
        return;
    }
    socklen_t length = 0;
    const sockaddr* target = ChosenAddress(resolved, length);
    const int result = ::connect(m_handle, target, length);
    // An interrupted connect goes on in the background, like one in progress.
    if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        // Wait without a limit of our own: the OS's connection time-out or Abort() ends it.
        if (WaitFor(POLLOUT, -1) != 1) {
            RaiseIfFailed();
            return;
        }
        int err = 0;
        socklen_t errLength = sizeof err;
        ::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &err, &errLength);
        SetLastError(WinsockFromErrno(err));
    } else {
        CheckResult(result, errno);
    }
    if (m_lastError == 0) {
        ReadAddresses();
        PendingInput.clear();
        Notify(TSocketStatus::Connected, host + ":" + port);
    }
    RaiseIfFailed();
}

// --- sending ---------------------------------------------------------------------

int TBlockingSocket::SendBytes(const void* buffer, std::size_t length) {
    if (m_abort.Raised()) {
        SetLastError(kWsaEintr);
        return -1;
    }
    std::string filtered;
    const char* data = static_cast<const char*>(buffer);
    if (OnSendFilter) {
        filtered.assign(data, length);
        OnSendFilter(*this, filtered);
        length = std::min(length, filtered.size());
        data = filtered.data();
    }
    // The socket is non-blocking underneath; waiting for room here keeps the send
    // blocking for the caller while leaving it abortable and bounded.
    std::size_t sent = 0;
    for (;;) {
        const ssize_t n = ::send(m_handle, data + sent, length - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            if (sent >= length || !IsStream()) {
                break;
            }
            continue;
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK) {
            CheckResult(-1, err);
            RaiseIfFailed();
            return -1;
        }
        // Slices, so that a deadline on an injected clock is seen in time too.
        const int wait = SendWaitMs();
        const int ready = WaitFor(POLLOUT, wait < 0 ? -1 : std::min(wait, kSendWaitSliceMs));
        if (ready == 1 || (ready == 0 && SendWaitMs() != 0)) {
            continue;
        }
        if (ready == 0) {
            SetLastError(kWsaEtimedout);
        }
        RaiseIfFailed();
        return -1;
    }
    SetLastError(0);
    Notify(TSocketStatus::Sent, std::to_string(sent));
    RaiseIfFailed();
    return static_cast<int>(sent);
}

int TBlockingSocket::SendWaitMs() const {
    if (!SendDeadlineTick) {
        return -1;
    }
    const auto left = static_cast<int32_t>(*SendDeadlineTick - Clock().Now());
    return std::max(left, 0);
}

int TBlockingSocket::SendOneByte(uint8_t value) {
    return SendBytes(&value, 1);
}

int TBlockingSocket::SendText(std::string_view data) {
    return SendBytes(data.data(), data.size());
}

int TBlockingSocket::SendBytesTo(const void* buffer, std::size_t length) {
    socklen_t addressLength = 0;
    const sockaddr* target = ChosenAddress(RemoteAddress, addressLength);
    ssize_t n;
    do {
        n = ::sendto(m_handle, buffer, length, MSG_NOSIGNAL, target, addressLength);
    } while (n < 0 && errno == EINTR);
    CheckResult(n < 0 ? -1 : 0, errno);
    RaiseIfFailed();
    return static_cast<int>(n);
}

// --- receiving -------------------------------------------------------------------

int TBlockingSocket::ReceiveBytes(void* buffer, std::size_t length) {
    if (m_abort.Raised()) {
        SetLastError(kWsaEintr);
        return -1;
    }
    ssize_t n;
    do {
        n = ::recv(m_handle, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n == 0 && IsStream()) {
        SetLastError(kWsaEconnreset); // the peer has closed the connection
        return 0;
    }
    CheckResult(n < 0 ? -1 : 0, errno);
    if (n <= 0) {
        return static_cast<int>(n);
    }
    Notify(TSocketStatus::Received, std::to_string(n));
    if (!OnReceiveFilter) {
        return static_cast<int>(n);
    }
    // The filter runs after the receive recorded its own outcome; what it does on
    // this socket (telnet replies) leaves the code the receive then reports.
    std::string chunk(static_cast<const char*>(buffer), static_cast<std::size_t>(n));
    OnReceiveFilter(*this, chunk);
    const std::size_t kept = std::min(chunk.size(), static_cast<std::size_t>(n));
    std::memcpy(buffer, chunk.data(), kept);
    return static_cast<int>(kept);
}

int TBlockingSocket::ReceiveBytesFrom(void* buffer, std::size_t length) {
    sockaddr_storage storage{};
    socklen_t addressLength = sizeof storage;
    ssize_t n;
    do {
        n = ::recvfrom(m_handle, buffer, length, 0, reinterpret_cast<sockaddr*>(&storage),
                       &addressLength);
    } while (n < 0 && errno == EINTR);
    CheckResult(n < 0 ? -1 : 0, errno);
    if (n >= 0) {
        RemoteAddress = FromStorage(storage);
    }
    RaiseIfFailed();
    return static_cast<int>(n);
}

int TBlockingSocket::PeekBytes(void* buffer, std::size_t length) {
    ssize_t n;
    do {
        n = ::recv(m_handle, buffer, length, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    CheckResult(n < 0 ? -1 : 0, errno);
    RaiseIfFailed();
    return static_cast<int>(n);
}

int TBlockingSocket::PeekOneByte(int timeoutMs) {
    if (!PendingInput.empty()) {
        return static_cast<uint8_t>(PendingInput.front());
    }
    if (!WaitReadable(timeoutMs)) {
        if (m_lastError == 0) {
            SetLastError(kWsaEtimedout);
        }
        return -1;
    }
    uint8_t byte = 0;
    return PeekBytes(&byte, 1) == 1 ? byte : -1;
}

// One recv's worth: for a stream what the OS holds now (at least one byte), for a
// datagram socket one datagram. "" with the code when nothing came.
std::string TBlockingSocket::ReceiveChunk(int timeoutMs) {
    const bool unlimited = timeoutMs < 0;
    const uint32_t deadline = DeadlineTick(Clock(), unlimited ? 0 : timeoutMs);
    for (;;) {
        std::this_thread::yield();
        int waiting = IsStream() ? BytesWaiting() : 0;
        if (waiting == 0) {
            if (!WaitReadable(unlimited ? -1 : RemainingMs(Clock(), deadline))) {
                if (m_lastError == 0) {
                    SetLastError(kWsaEtimedout);
                }
                return {};
            }
            waiting = IsStream() ? BytesWaiting() : 0;
            if (IsStream() && waiting == 0) {
                // Readable with nothing to read: the peer has closed (or reset).
                SetLastError(kWsaEconnreset);
                return {};
            }
        }
        std::size_t size = waiting > 0 ? static_cast<std::size_t>(waiting)
                                       : (IsStream() ? kStreamChunkDefault : kDatagramBufferSize);
        if (IsStream()) {
            size = std::min(size, m_maxChunk);
        }
        std::string chunk(size, '\0');
        const int n = ReceiveBytes(chunk.data(), chunk.size());
        if (n < 0 && m_lastError == kWsaEwouldblock &&
            (unlimited || RemainingMs(Clock(), deadline) > 0)) {
            continue; // readiness was spurious (e.g. a datagram that failed its checksum)
        }
        chunk.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n < 0 && m_lastError == kWsaEwouldblock) {
            SetLastError(kWsaEtimedout);
        }
        return chunk;
    }
}

std::string TBlockingSocket::ReceiveAvailable(int timeoutMs) {
    SetLastError(0);
    std::string result;
    if (m_abort.Raised()) {
        SetLastError(kWsaEintr);
    } else if (!PendingInput.empty()) {
        result.swap(PendingInput);
    } else if (m_handle < 0) {
        SetLastError(kWsaEnotconn);
    } else {
        result = ReceiveChunk(timeoutMs);
    }
    RaiseIfFailed();
    return result;
}

void TBlockingSocket::TrimUnmatched(std::string& buffer, std::size_t terminatorLength) const {
    if (MaxPendingInput == 0) {
        return;
    }
    const std::size_t keep = std::max(MaxPendingInput, terminatorLength - 1);
    if (buffer.size() > keep) {
        buffer.erase(0, buffer.size() - keep);
    }
}

std::string TBlockingSocket::ReceiveUntil(int timeoutMs, std::string_view terminator,
                                          std::optional<uint32_t> deadlineTick) {
    SetLastError(0);
    if (terminator.empty()) {
        return {};
    }
    std::string buffer;
    std::string result;
    int32_t timeout = timeoutMs;
    for (;;) {
        const uint32_t noted = Clock().Now();
        int wait = timeout;
        if (deadlineTick) {
            const auto left = static_cast<int32_t>(*deadlineTick - noted);
            if (left <= 0 && PendingInput.empty()) {
                SetLastError(kWsaEtimedout);
                break;
            }
            wait = wait < 0 ? std::max(left, 0) : std::clamp(left, 0, wait);
        }
        const std::size_t searchFrom =
            buffer.size() >= terminator.size() ? buffer.size() - terminator.size() + 1 : 0;
        buffer += ReceiveAvailable(wait);
        if (m_lastError != 0) {
            TrimUnmatched(buffer, terminator.size());
            break;
        }
        const std::size_t found = buffer.find(terminator, searchFrom);
        if (MaxLineLength > 0 && buffer.size() > static_cast<std::size_t>(MaxLineLength)) {
            SetLastError(kWsaEnobufs);
            break;
        }
        if (found != std::string::npos) {
            result = buffer.substr(0, found);
            buffer.erase(0, found + terminator.size());
            break;
        }
        TrimUnmatched(buffer, terminator.size());
        if (!InterPacketTimeout) {
            timeout -= static_cast<int32_t>(TickDifference(noted, Clock().Now()));
            if (timeout <= 0) {
                SetLastError(kWsaEtimedout);
                break;
            }
        }
    }
    // On a match what follows the terminator, otherwise everything received: no
    // received byte is lost between calls.
    PendingInput = std::move(buffer);
    RaiseIfFailed();
    return result;
}

int TBlockingSocket::ReceiveExact(void* buffer, std::size_t length, int timeoutMs) {
    const std::string text = ReceiveExactText(length, timeoutMs);
    std::memcpy(buffer, text.data(), text.size());
    return m_lastError == 0 ? static_cast<int>(text.size()) : -1;
}

std::string TBlockingSocket::ReceiveExactText(std::size_t length, int timeoutMs) {
    std::string collected;
    SetLastError(0);
    while (collected.size() < length) {
        collected += ReceiveAvailable(timeoutMs);
        if (m_lastError != 0) {
            PendingInput = std::move(collected);
            return {};
        }
    }
    PendingInput = collected.substr(length);
    collected.resize(length);
    return collected;
}

int TBlockingSocket::ReceiveOneByte(int timeoutMs) {
    if (PendingInput.empty()) {
        PendingInput = ReceiveAvailable(timeoutMs);
        if (m_lastError != 0 || PendingInput.empty()) {
            return -1;
        }
    }
    const auto byte = static_cast<uint8_t>(PendingInput.front());
    PendingInput.erase(0, 1);
    SetLastError(0);
    return byte;
}

std::string TBlockingSocket::ReceiveLine(int timeoutMs) {
    std::string line = ReceiveUntil(timeoutMs, "\r\n");
    return m_lastError == 0 ? line : std::string();
}

} // namespace pingvard

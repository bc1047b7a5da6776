// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Blocking socket objects over POSIX sockets. Every operation leaves its outcome
// in LastErrorCode() as a Winsock code (net/socket_errors.h), 0 for success, and
// never throws while RaiseOnError is false.
//
// Every wait is interruptible: Abort(), callable from any thread, ends a wait,
// connect, send or receive in progress at once, and makes every later one
// return at once, with LastErrorCode() 10004. ClearAbort() re-arms the object.
// That includes name lookups (net/host_lookup.h), which ResolveTimeout bounds.

#include "net/abort_signal.h"
#include "net/socket_errors.h"
#include "net/tick_clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pingvard {

// A resolved address: the first IPv4 and the first IPv6 entry of a lookup, and
// which of them the socket will use. All-empty means nothing was resolved.
struct SocketAddress {
    bool UseIPv6 = false;
    bool HasIPv4 = false;
    sockaddr_in IPv4Address{};
    bool HasIPv6 = false;
    sockaddr_in6 IPv6Address{};

    bool Empty() const noexcept { return !HasIPv4 && !HasIPv6; }
};

// Numeric text of the chosen entry ("" when empty), and its port.
std::string AddressText(const SocketAddress& address);
int AddressPort(const SocketAddress& address);

enum class TSocketStatus {
    ResolveBegin,
    ResolveEnd,
    SocketCreated,
    SocketClosed,
    Bound,
    Connected,
    CanRead,
    Listening,
    Received,
    Sent,
};

class TBlockingSocket {
public:
    using TDataFilter = std::function<void(TBlockingSocket& sender, std::string& data)>;
    using TStatusHandler = std::function<void(TBlockingSocket& sender, TSocketStatus reason,
                                              const std::string& value)>;
    using TCreatedHandler = std::function<void(TBlockingSocket& sender)>;

    // Longest text a ReceiveUntil keeps while it has not found its terminator;
    // see MaxPendingInput.
    static constexpr std::size_t kDefaultMaxPendingInput = 64 * 1024;
    // Most one stream receive takes, whatever the OS holds: a flooding peer then
    // costs bounded memory per receive, and an abort is seen between receives.
    static constexpr std::size_t kMaxStreamRead = 64 * 1024;

    TBlockingSocket();
    virtual ~TBlockingSocket();
    TBlockingSocket(const TBlockingSocket&) = delete;
    TBlockingSocket& operator=(const TBlockingSocket&) = delete;

    // Events; all run synchronously on the calling thread.
    TStatusHandler OnStatusChange;
    TDataFilter OnReceiveFilter; // may rewrite each received chunk; longer results are cut
    TDataFilter OnSendFilter;    // may rewrite (shorten) each buffer before it is sent
    TCreatedHandler OnSocketCreated;

    SocketAddress LocalAddress;     // as the OS reports it after bind or connect
    SocketAddress RemoteAddress;    // as the OS reports it after connect
    std::string PendingInput;       // received (and filtered) bytes not yet handed out
    bool RaiseOnError = false;      // exception mode (ESocketError)
    int32_t MaxLineLength = 0;      // ReceiveUntil fails with 10055 past this; 0 = no limit
    bool InterPacketTimeout = true; // true: each wait of a call gets the whole time-out
    uint8_t AddressFamily = 0;      // 0 any, 1 IPv4 only, 2 IPv6 only (while no OS socket exists)
    bool PreferIPv4 = true;         // choice when a name resolves to both families
    // Bound on what ReceiveUntil accumulates without finding its terminator: past
    // it, the oldest bytes are dropped and the newest MaxPendingInput bytes kept
    // (at least terminator length - 1, so a terminator split over chunks is still
    // found). A peer that streams forever cannot exhaust memory. 0 = no bound.
    std::size_t MaxPendingInput = kDefaultMaxPendingInput;
    // A tick of Clock() past which no send waits for room in the socket's
    // buffer: a peer that stops reading then fails the send with 10060 instead
    // of blocking it for ever (bytes already handed to the OS stay sent).
    // Unset: a send waits as long as it takes, or until Abort().
    std::optional<uint32_t> SendDeadlineTick;
    // Longest a name lookup of a bind or connect may take, ms; -1: only the
    // resolver's own time-outs. Abort() ends a lookup either way. A lookup cut
    // short fails like an unanswered one (11002).
    int32_t ResolveTimeout = -1;
    // A connect to a peer of the other family than the open OS socket's closes
    // it and opens one of the peer's family (otherwise the family stays fixed).
    bool FollowPeerFamily = false;

    int LastErrorCode() const noexcept { return m_lastError; }
    const std::string& LastErrorText() const noexcept { return m_lastErrorText; }
    bool UsesIPv6() const noexcept { return m_usesIPv6; }
    int SocketHandle() const noexcept { return m_handle; }
    static std::string ErrorDescription(int code) { return pingvard::ErrorDescription(code); }

    // Slot operations.
    virtual void Disconnect();
    virtual void ConnectTo(const std::string& host, const std::string& port);
    virtual int SendBytes(const void* buffer, std::size_t length);
    int SendOneByte(uint8_t value);
    int SendText(std::string_view data);
    virtual int ReceiveBytes(void* buffer, std::size_t length);
    int ReceiveExact(void* buffer, std::size_t length, int timeoutMs);
    std::string ReceiveExactText(std::size_t length, int timeoutMs);
    int ReceiveOneByte(int timeoutMs); // the byte, or -1
    std::string ReceiveLine(int timeoutMs);
    // The text before the next terminator; see MaxPendingInput. With deadlineTick
    // (a tick of Clock()), no wait goes past that tick: then "" with 10060, and
    // everything received stays in PendingInput.
    std::string ReceiveUntil(int timeoutMs, std::string_view terminator,
                             std::optional<uint32_t> deadlineTick = std::nullopt);
    // PendingInput if any, else one receive's worth of bytes (a stream: what the
    // OS holds, at most kMaxStreamRead) available now or arriving within
    // timeoutMs (-1: no limit); "" with 10060 / 10054 / 10004 otherwise.
    std::string ReceiveAvailable(int timeoutMs);
    int PeekBytes(void* buffer, std::size_t length);
    int PeekOneByte(int timeoutMs); // the byte, or -1
    virtual int BytesWaiting();
    virtual std::string LocalAddressText() const { return AddressText(LocalAddress); }
    virtual std::string RemoteAddressText() const { return AddressText(RemoteAddress); }
    virtual int LocalPortNumber() const { return AddressPort(LocalAddress); }
    virtual int RemotePortNumber() const { return AddressPort(RemoteAddress); }
    int SendBytesTo(const void* buffer, std::size_t length); // to RemoteAddress
    int ReceiveBytesFrom(void* buffer, std::size_t length);  // sender into RemoteAddress
    virtual int SocketType() const { return 0; }
    virtual int SocketProtocol() const { return 0; }

    void BindTo(const std::string& address, const std::string& port);
    bool WaitReadable(int timeoutMs); // -1: no limit
    void SetReceiveBufferSize(int32_t size);
    SocketAddress ResolveAddress(const std::string& host, const std::string& port);

    void Abort() noexcept; // thread-safe
    bool Aborted() const noexcept { return m_abort.Raised(); }
    void ClearAbort() noexcept; // owner thread only
    void SetClock(const TTickClock& clock) noexcept { m_clock = &clock; }
    const TTickClock& Clock() const noexcept { return *m_clock; }

protected:
    // Creates the OS socket for the family (AF_INET / AF_INET6); -1 with errno set.
    virtual int CreateOsSocket(int family);
    // Resolution without a service (raw sockets): host only, any type.
    virtual bool ResolvesHostOnly() const;
    void OpenSocket(const SocketAddress& address);
    // Bind's and connect's common start: resolve, then create the OS socket if
    // needed. False (code set) when nothing resolved or the socket failed.
    // followPeer: see FollowPeerFamily.
    bool ResolveAndOpen(const std::string& host, const std::string& port, SocketAddress& resolved,
                        bool followPeer = false);
    void CloseOsSocket() noexcept;
    void SetLastError(int code);
    // value -1: code from err. Make the call before, never inside, the argument
    // list: the order in which arguments are evaluated is unspecified.
    void CheckResult(long value, int err);
    void RaiseIfFailed();
    void Notify(TSocketStatus reason, const std::string& value);
    // poll() on the socket and the abort signal. 1 ready, 0 time-out, -1 error or
    // abort (LastErrorCode set). timeoutMs -1 waits without limit.
    int WaitFor(short events, int timeoutMs);
    bool IsStream() const;
    // Largest read one stream receive makes.
    std::size_t m_maxChunk = kMaxStreamRead;

private:
    // family: AF_INET, AF_INET6 or AF_UNSPEC.
    SocketAddress Resolve(const std::string& host, const std::string& port, int family);
    int WantedFamily() const; // of AddressFamily
    std::string ReceiveChunk(int timeoutMs);
    int SendWaitMs() const; // -1: no limit
    void ReadAddresses();
    void TrimUnmatched(std::string& buffer, std::size_t terminatorLength) const;

    int m_handle = -1;
    bool m_usesIPv6 = false;
    int m_lastError = 0;
    int m_resolveError = kWsaHostNotFound; // why the last resolution found nothing
    std::string m_lastErrorText;
    std::vector<std::pair<int, int32_t>> m_queuedOptions; // (SO_ level option, value)
    TAbortSignal m_abort;
    const TTickClock* m_clock = &SystemTickClock();
};

// Adds proxy settings, none of which this system sets; the proxy itself is not built.
class TProxySocket : public TBlockingSocket {
public:
    std::string SocksServer;
    std::string SocksPort = "1080";
    std::string SocksUser;
    std::string SocksPassword;
};

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify_datagram.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pingvard {
namespace {

// A positive decimal number with nothing else around it.
std::optional<uint64_t> PositiveDecimal(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    const char* end = text + std::strlen(text);
    uint64_t value = 0;
    const auto [at, err] = std::from_chars(text, end, value);
    if (err != std::errc() || at != end || value == 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::chrono::microseconds> WatchdogInterval(const char* usec, const char* forPid,
                                                          pid_t pid) {
    if (forPid != nullptr) {
        const std::optional<uint64_t> owner = PositiveDecimal(forPid);
        if (!owner || *owner != static_cast<uint64_t>(pid)) {
            return std::nullopt;
        }
    }
    const std::optional<uint64_t> value = PositiveDecimal(usec);
    // Bounded so that the figure fits the duration's count.
    if (!value || *value > static_cast<uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    return std::chrono::microseconds(static_cast<int64_t>(*value));
}

bool SendNotifyDatagram(std::string_view socketName, std::string_view message) noexcept {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = socketName.starts_with('@');
    if ((!abstract && !socketName.starts_with('/')) || socketName.size() < 2 ||
        socketName.size() >= sizeof address.sun_path) {
        return false;
    }
    socketName.copy(address.sun_path, socketName.size());
    if (abstract) {
        address.sun_path[0] = '\0'; // the name is the bytes after it, not NUL-terminated
    }
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName.size() +
                                               (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    ssize_t sent;
    do {
        sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length);
    } while (sent < 0 && errno == EINTR);
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

} // namespace pingvard

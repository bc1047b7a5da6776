// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/link_state.h"

#include <arpa/inet.h>

namespace pingvard {

bool IsNumericAddress(const std::string& text) {
    in6_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1 ||
           ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

} // namespace pingvard

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingvard {

namespace {

using TKind = TLinkState::TKind;

// IFF_LOWER_UP of <linux/if.h>, which cannot be included beside <net/if.h>.
constexpr unsigned kLowerUp = 0x10000;

// The netlink macros cast in the old style; these do what they do.
template <typename T> const T* Payload(const nlmsghdr* msg) {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(msg) + NLMSG_HDRLEN);
}
const void* AttributeData(const rtattr& attr) {
    return reinterpret_cast<const char*>(&attr) + RTA_ALIGN(sizeof(rtattr));
}
std::size_t AttributePayload(const rtattr& attr) {
    return attr.rta_len - RTA_ALIGN(sizeof(rtattr));
}

class TRouteSocket {
public:
    TRouteSocket() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~TRouteSocket() {
        if (m_fd >= 0) {
            ::close(m_fd); // Don't retry close on EINTR: the descriptor may already be reused.
        }
    }
    TRouteSocket(const TRouteSocket&) = delete;
    TRouteSocket& operator=(const TRouteSocket&) = delete;

    bool Open() const { return m_fd >= 0; }

    // Sends one request and returns the kernel's answer to it: the message of
    // type wanted, or the error it reported (a negative errno), or none.
    struct TAnswer {
        int Error = 0;
        std::string Message; // the whole netlink message
    };
    std::optional<TAnswer> Ask(nlmsghdr& request, uint16_t wanted, int32_t timeoutMs) {
        request.nlmsg_seq = ++m_seq;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        ssize_t sent;
        do {
            sent = ::sendto(m_fd, &request, request.nlmsg_len, 0,
                            reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        } while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(request.nlmsg_len)) {
            return std::nullopt;
        }
        for (;;) {
            pollfd wait{m_fd, POLLIN, 0};
            int ready;
            do {
                ready = ::poll(&wait, 1, timeoutMs);
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0) {
                return std::nullopt;
            }
            alignas(nlmsghdr) char buffer[16384];
            ssize_t got;
            do {
                got = ::recv(m_fd, buffer, sizeof buffer, 0);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) {
                return std::nullopt;
            }
            if (auto answer = Find(buffer, static_cast<std::size_t>(got), wanted)) {
                return answer;
            }
        }
    }

private:
    std::optional<TAnswer> Find(const char* buffer, std::size_t size, uint16_t wanted) const {
        for (std::size_t at = 0; at + sizeof(nlmsghdr) <= size;) {
            const auto* msg = reinterpret_cast<const nlmsghdr*>(buffer + at);
            if (msg->nlmsg_len < sizeof(nlmsghdr) || msg->nlmsg_len > size - at) {
                break; // truncated: nothing after it can be read
            }
            at += NLMSG_ALIGN(msg->nlmsg_len);
            if (msg->nlmsg_seq != m_seq) {
                continue; // an answer to an earlier request
            }
            if (msg->nlmsg_type == NLMSG_ERROR &&
                msg->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
                const auto* error = Payload<nlmsgerr>(msg);
                return TAnswer{error->error == 0 ? -EIO : error->error, {}};
            }
            if (msg->nlmsg_type == wanted) {
                return TAnswer{0, std::string(reinterpret_cast<const char*>(msg), msg->nlmsg_len)};
            }
        }
        return std::nullopt;
    }

    int m_fd;
    uint32_t m_seq = 0;
};

// The attributes after a message's fixed header of headerSize bytes.
template <typename F>
void ForEachAttribute(const std::string& message, std::size_t headerSize, F f) {
    std::size_t at = NLMSG_ALIGN(NLMSG_LENGTH(headerSize));
    while (at + sizeof(rtattr) <= message.size()) {
        const auto* attr = reinterpret_cast<const rtattr*>(message.data() + at);
        if (attr->rta_len < sizeof(rtattr) || attr->rta_len > message.size() - at) {
            return;
        }
        f(*attr);
        at += RTA_ALIGN(attr->rta_len);
    }
}

template <typename T> std::optional<T> AttributeValue(const rtattr& attr) {
    if (AttributePayload(attr) < sizeof(T)) {
        return std::nullopt;
    }
    T value{};
    std::memcpy(&value, AttributeData(attr), sizeof(T));
    return value;
}

struct TRouteRequest {
    nlmsghdr Header;
    rtmsg Route;
    char Attributes[64];
};

// The route towards the address: its output link's index, or the reason
// there is none.
std::optional<int> RouteLink(TRouteSocket& socket, int family, const void* address,
                             std::size_t addressSize, int32_t timeoutMs, TKind& failure) {
    TRouteRequest request{};
    request.Header.nlmsg_type = RTM_GETROUTE;
    request.Header.nlmsg_flags = NLM_F_REQUEST;
    request.Route.rtm_family = static_cast<unsigned char>(family);
    request.Route.rtm_dst_len = static_cast<unsigned char>(addressSize * 8);
    rtattr attr{};
    attr.rta_type = RTA_DST;
    attr.rta_len = static_cast<unsigned short>(RTA_ALIGN(sizeof(rtattr)) + addressSize);
    std::memcpy(request.Attributes, &attr, sizeof attr);
    std::memcpy(request.Attributes + RTA_ALIGN(sizeof(rtattr)), address, addressSize);
    request.Header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(sizeof(rtmsg)) + attr.rta_len);

    const auto answer = socket.Ask(request.Header, RTM_NEWROUTE, timeoutMs);
    failure = TKind::Unknown;
    if (!answer) {
        return std::nullopt;
    }
    // An unreachable, blackhole or prohibit route answers with one of these.
    if (answer->Error == -ENETUNREACH || answer->Error == -EHOSTUNREACH ||
        answer->Error == -EACCES) {
        failure = TKind::NoRoute;
        return std::nullopt;
    }
    if (answer->Error != 0) {
        return std::nullopt;
    }
    const auto* route = Payload<rtmsg>(reinterpret_cast<const nlmsghdr*>(answer->Message.data()));
    if (route->rtm_type != RTN_UNICAST && route->rtm_type != RTN_LOCAL) {
        failure = TKind::NoRoute;
        return std::nullopt;
    }
    std::optional<int> link;
    ForEachAttribute(answer->Message, sizeof(rtmsg), [&](const rtattr& a) {
        if (a.rta_type == RTA_OIF) {
            link = AttributeValue<int>(a);
        }
    });
    return link;
}

struct TLinkRequest {
    nlmsghdr Header;
    ifinfomsg Link;
};

TLinkState LinkOfIndex(TRouteSocket& socket, int index, int32_t timeoutMs) {
    TLinkRequest request{};
    request.Header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.Header.nlmsg_type = RTM_GETLINK;
    request.Header.nlmsg_flags = NLM_F_REQUEST;
    request.Link.ifi_family = AF_UNSPEC;
    request.Link.ifi_index = index;
    const auto answer = socket.Ask(request.Header, RTM_NEWLINK, timeoutMs);
    if (!answer || answer->Error != 0) {
        return {};
    }
    const auto* link =
        Payload<ifinfomsg>(reinterpret_cast<const nlmsghdr*>(answer->Message.data()));
    TLinkState state;
    ForEachAttribute(answer->Message, sizeof(ifinfomsg), [&](const rtattr& a) {
        if (a.rta_type == IFLA_IFNAME) {
            const auto* name = static_cast<const char*>(AttributeData(a));
            state.Interface.assign(name, ::strnlen(name, AttributePayload(a)));
        }
    });
    // IFF_LOWER_UP is the carrier as the driver reports it; a link set down
    // has none either, whatever the cable does.
    const bool carrier = (link->ifi_flags & IFF_UP) != 0 && (link->ifi_flags & kLowerUp) != 0;
    state.Kind = carrier ? TKind::Up : TKind::NoCarrier;
    return state;
}

} // namespace

TLinkState LinkTowards(const std::string& address, int32_t timeoutMs) {
    in_addr v4{};
    in6_addr v6{};
    const bool isV4 = ::inet_pton(AF_INET, address.c_str(), &v4) == 1;
    const bool isV6 = !isV4 && ::inet_pton(AF_INET6, address.c_str(), &v6) == 1;
    if (!isV4 && !isV6) {
        return {};
    }
    TRouteSocket socket;
    if (!socket.Open()) {
        return {};
    }
    TKind failure = TKind::Unknown;
    const std::optional<int> index =
        isV4 ? RouteLink(socket, AF_INET, &v4, sizeof v4, timeoutMs, failure)
             : RouteLink(socket, AF_INET6, &v6, sizeof v6, timeoutMs, failure);
    if (!index) {
        return {failure, {}};
    }
    return LinkOfIndex(socket, *index, timeoutMs);
}

} // namespace pingvard

#else

namespace pingvard {

TLinkState LinkTowards(const std::string&, int32_t) {
    return {};
}

} // namespace pingvard

#endif

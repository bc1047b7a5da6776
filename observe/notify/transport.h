// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a channel hands to the network: a mail for an SMTP server or a POST
// for a web hook, and the one interface that sends them. The libcurl one is
// in curl_transport.h, a library of its own; tests put a fake in its place.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pingvard {

struct TMailRequest {
    std::string Server; // smtp://host[:port] or smtps://host[:port]
    bool RequireStartTls = false;
    std::string User;
    std::string Password;
    std::string From;
    std::vector<std::string> To;
    std::string Payload; // header and body, CRLF line ends
    int32_t TimeLimitMs = 30000;
    std::string CaFile; // empty: the system's authorities
};

struct THttpPost {
    std::string Url;
    std::vector<std::string> Headers; // "Name: value"
    std::string Body;
    int32_t TimeLimitMs = 30000;
    std::string CaFile;
};

struct TDelivery {
    bool Accepted = false; // the server took the message
    std::string Answer;    // what it said, or why nothing could be sent; never a secret
};

class TNotifyTransport {
public:
    virtual ~TNotifyTransport() = default;
    // Each blocks for at most the request's time limit, and less once Abort ran.
    virtual TDelivery Send(const TMailRequest& mail) = 0;
    virtual TDelivery Send(const THttpPost& post) = 0;
    // From any thread: the send under way ends at once, and every later one.
    virtual void Abort() noexcept = 0;
};

using TTransportMaker = std::unique_ptr<TNotifyTransport> (*)();

} // namespace pingvard

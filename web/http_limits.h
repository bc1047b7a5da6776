// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every bound of the listener. The defaults suit a scrape every few seconds
// and a status page on a handful of browsers; a hostile client meets each of
// them before it can hold anything for long.

#include <chrono>
#include <cstddef>

namespace pingvard {

struct THttpLimits {
    // Open connections. At the cap, a new connection closes the one that has
    // waited longest without completing its request.
    std::size_t MaxConnections = 64;
    std::size_t MaxHeadBytes = 8 * 1024;  // request line and fields: 431 (414) beyond
    std::size_t MaxHeaderFields = 64;     // 431 beyond
    std::size_t MaxBodyBytes = 16 * 1024; // 413 beyond
    // From accepting a connection, or from the first byte of a later request
    // on it, to the whole request: 408 then, however the bytes trickle in.
    std::chrono::milliseconds RequestTimeout{5000};
    // A kept-alive connection waits this long for its next request.
    std::chrono::milliseconds IdleTimeout{30000};
    // One answer must be delivered within this, or the connection is closed.
    std::chrono::milliseconds WriteTimeout{10000};
    // After the last answer: how long the client may take to close its side
    // before the connection is closed anyway (so the answer is not lost to a
    // reset while unread request bytes remain).
    std::chrono::milliseconds LingerTimeout{1000};
    std::size_t MaxResponseBytes = 4 * 1024 * 1024; // one answer's body: 500 beyond
    // Answers waiting to be sent, over every connection: 503 beyond.
    std::size_t MaxBufferedBytes = 16 * 1024 * 1024;
};

} // namespace pingvard

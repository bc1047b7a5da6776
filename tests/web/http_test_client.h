// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A plain blocking client on loopback for the listener's tests: what a
// scraper, an idle or a trickling client does, with bounded waits.

#include <chrono>
#include <cstdint>
#include <string>

namespace pingvard::test {

class THttpTestClient {
public:
    explicit THttpTestClient(uint16_t port); // connected, or !Connected()
    ~THttpTestClient();
    THttpTestClient(const THttpTestClient&) = delete;
    THttpTestClient& operator=(const THttpTestClient&) = delete;

    bool Connected() const noexcept { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    void ShutdownSending();
    // One whole answer (by its Content-Length), or what came until the
    // peer closed or the wait ran out.
    std::string ReadAnswer(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // True once the server has closed (end of input or a reset) within wait.
    bool ClosedWithin(std::chrono::milliseconds wait);

private:
    int m_fd = -1;
    std::string m_pending; // read beyond the last answer
};

// GET path on a fresh connection; the whole answer, or "" on failure.
std::string HttpGet(uint16_t port, const std::string& path, const std::string& extra = "");
// The status of an answer ("HTTP/1.1 200 OK..." -> 200), 0 when none.
int StatusOf(const std::string& answer);
// The body after the head.
std::string BodyOf(const std::string& answer);

} // namespace pingvard::test

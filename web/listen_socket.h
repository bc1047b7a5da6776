// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The listener's own socket: a numeric IPv4 or IPv6 address and a port, and
// what a Host field may say for a listener on loopback.

#include <cstdint>
#include <string>
#include <string_view>

namespace pingvard {

// "127.0.0.1:9770", "[::1]:9770": the address as the operator reads it.
std::string EndpointText(const std::string& address, uint16_t port);

// A non-blocking listening socket, or -1 with error set to why ("Address
// already in use"). Port 0 takes a free one.
int OpenListenSocket(const std::string& address, uint16_t port, std::string& error);
uint16_t LocalPort(int fd) noexcept;

bool IsLoopbackAddress(const std::string& address) noexcept;
// A Host field naming this machine's loopback ("localhost", 127.0.0.0/8,
// [::1]; any port). A listener on loopback refuses other names: a web page
// elsewhere could otherwise read it through a name it re-points at 127.0.0.1.
bool IsLoopbackHost(std::string_view host) noexcept;

} // namespace pingvard

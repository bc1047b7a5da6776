#pragma once

#include <string>

namespace pingvard {

// The host name as dotted IPv4 text (first address of a blocking IPv4 lookup),
// or the name unchanged when the lookup fails. Thread-safe.
std::string ResolveToIP(const std::string& name);

} // namespace pingvard

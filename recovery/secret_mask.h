// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace pingvard {

inline constexpr const char* kSecretMask = "********";

// Replaces every occurrence of each non-empty secret in text, as it stands and
// as it reads percent-encoded in a URL, with kSecretMask.
std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets);

// Percent-encodes everything but the unreserved characters of RFC 3986.
std::string PercentEncode(const std::string& text);

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace pingvard {

inline constexpr const char* kSecretMask = "********";

// Replaces every occurrence of each non-empty secret in text, as it stands and
// as it reads percent-encoded in a URL, with kSecretMask.
std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets);

// A challenge that asks for a password ("password:", "Enter passphrase",
// "passwd"): its answer is a secret, unlike the answer to "(y/n)?" or a
// command prompt.
bool AsksForPassword(const std::string& challenge);

// Percent-encodes everything but the unreserved characters of RFC 3986.
std::string PercentEncode(const std::string& text);

} // namespace pingvard

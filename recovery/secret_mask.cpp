// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/secret_mask.h"

#include <cctype>

namespace pingvard {

namespace {

void ReplaceAll(std::string& text, const std::string& what) {
    if (what.empty()) {
        return;
    }
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + std::char_traits<char>::length(kSecretMask))) {
        text.replace(at, what.size(), kSecretMask);
    }
}

} // namespace

bool AsksForPassword(const std::string& challenge) {
    std::string lower;
    for (const char c : challenge) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const char* word : {"password", "passwd", "passphrase"}) {
        if (lower.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string PercentEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string MaskSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) {
        ReplaceAll(text, secret);
        ReplaceAll(text, PercentEncode(secret));
    }
    return text;
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plugsim_auth.h"

#include <algorithm>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace pingvard::plugsim {

namespace {

constexpr std::size_t kNoncesKept = 64;

std::string Hex(const unsigned char* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

std::string NewNonce() {
    unsigned char bytes[16];
    RAND_bytes(bytes, sizeof bytes);
    return Hex(bytes, sizeof bytes);
}

// Compares without stopping at the first difference.
bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff = static_cast<unsigned char>(diff | (a[i] ^ b[i]));
    }
    return diff == 0;
}

} // namespace

std::string DigestHash(TAuthScheme scheme, const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size,
               scheme == TAuthScheme::DigestSha256 ? EVP_sha256() : EVP_md5(), nullptr);
    return Hex(digest, size);
}

std::string Base64Decode(const std::string& text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= 'A' && c <= 'Z') {
            digit = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            digit = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            digit = c - '0' + 52;
        } else if (c == '+') {
            digit = 62;
        } else if (c == '/') {
            digit = 63;
        } else if (c == '=') {
            ++padding;
            continue;
        }
        if (digit < 0 || padding > 0) {
            return {};
        }
        value = (value << 6) | static_cast<unsigned>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

std::string DigestResponse(TAuthScheme scheme, const TDigestInput& in) {
    const std::string ha1 = DigestHash(scheme, in.User + ":" + in.Realm + ":" + in.Password);
    const std::string ha2 = DigestHash(scheme, in.Method + ":" + in.Uri);
    if (in.Qop.empty()) {
        return DigestHash(scheme, ha1 + ":" + in.Nonce + ":" + ha2);
    }
    return DigestHash(scheme, ha1 + ":" + in.Nonce + ":" + in.Nc + ":" + in.Cnonce + ":" + in.Qop +
                                  ":" + ha2);
}

bool TAuthenticator::Check(const THttpRequest& request) const {
    if (!Required()) {
        return true;
    }
    if (m_config.Scheme == TAuthScheme::Query) {
        const auto user = request.Query.find("user");
        const auto password = request.Query.find("password");
        return user != request.Query.end() && password != request.Query.end() &&
               user->second == m_config.User && SameText(password->second, m_config.Password);
    }
    const auto header = request.Headers.find("authorization");
    if (header == request.Headers.end()) {
        return false;
    }
    const std::string& value = header->second;
    const std::size_t space = value.find(' ');
    const std::string scheme = value.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : value.substr(space + 1);
    if (m_config.Scheme == TAuthScheme::Basic) {
        return scheme == "Basic" && CheckBasic(rest);
    }
    return scheme == "Digest" && CheckDigest(rest, request);
}

bool TAuthenticator::CheckBasic(const std::string& credentials) const {
    return SameText(Base64Decode(credentials), m_config.User + ":" + m_config.Password);
}

bool TAuthenticator::CheckDigest(const std::string& text, const THttpRequest& request) const {
    auto params = ParseAuthParams(text);
    const std::string& nonce = params["nonce"];
    const std::string wantAlgorithm =
        m_config.Scheme == TAuthScheme::DigestSha256 ? "SHA-256" : "MD5";
    const std::string algorithm = params.count("algorithm") ? params["algorithm"] : "MD5";
    if (params["username"] != m_config.User || params["realm"] != m_config.Realm ||
        params["uri"] != request.Target || algorithm != wantAlgorithm ||
        std::find(m_nonces.begin(), m_nonces.end(), nonce) == m_nonces.end()) {
        return false;
    }
    if (params.count("qop") != 0 && params["qop"] != "auth") {
        return false;
    }
    const std::string expected = DigestResponse(
        m_config.Scheme, {m_config.User, m_config.Realm, m_config.Password, request.Method,
                          request.Target, nonce, params["nc"], params["cnonce"], params["qop"]});
    return SameText(params["response"], expected);
}

std::string TAuthenticator::Challenge() {
    switch (m_config.Scheme) {
    case TAuthScheme::Basic:
        return "WWW-Authenticate: Basic realm=\"" + m_config.Realm + "\"\r\n";
    case TAuthScheme::DigestMd5:
    case TAuthScheme::DigestSha256: {
        m_nonces.push_back(NewNonce());
        if (m_nonces.size() > kNoncesKept) {
            m_nonces.pop_front();
        }
        const char* algorithm = m_config.Scheme == TAuthScheme::DigestSha256 ? "SHA-256" : "MD5";
        return "WWW-Authenticate: Digest qop=\"auth\", realm=\"" + m_config.Realm + "\", nonce=\"" +
               m_nonces.back() + "\", algorithm=" + algorithm + "\r\n";
    }
    case TAuthScheme::None:
    case TAuthScheme::Query:
        break;
    }
    return {};
}

} // namespace pingvard::plugsim

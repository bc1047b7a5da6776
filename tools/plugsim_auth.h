// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the plug checks who is asking: HTTP basic, HTTP digest (RFC 7616, MD5 or
// SHA-256, qop "auth" or none) or, as some firmware does, user and password as
// query parameters.

#include "tools/plugsim_http.h"

#include <deque>
#include <string>

namespace pingvard::plugsim {

enum class TAuthScheme { None, Basic, DigestMd5, DigestSha256, Query };

struct TAuthConfig {
    TAuthScheme Scheme = TAuthScheme::None;
    std::string User;
    std::string Password; // empty: no authentication, whatever the scheme
    std::string Realm;
};

std::string DigestHash(TAuthScheme scheme, const std::string& text); // lower-case hex
std::string Base64Decode(const std::string& text);                   // empty when invalid

// The response a client must send (RFC 7616 section 3.4.1); qop empty: RFC 2069.
struct TDigestInput {
    std::string User, Realm, Password, Method, Uri, Nonce, Nc, Cnonce, Qop;
};
std::string DigestResponse(TAuthScheme scheme, const TDigestInput& in);

class TAuthenticator {
public:
    explicit TAuthenticator(TAuthConfig config) : m_config(std::move(config)) {}

    bool Required() const { return !m_config.Password.empty(); }
    bool Check(const THttpRequest& request) const;
    // The WWW-Authenticate header line (with CR LF) for a 401; empty for Query.
    std::string Challenge();

private:
    bool CheckBasic(const std::string& credentials) const;
    bool CheckDigest(const std::string& params, const THttpRequest& request) const;

    TAuthConfig m_config;
    std::deque<std::string> m_nonces; // the ones handed out lately
};

} // namespace pingvard::plugsim

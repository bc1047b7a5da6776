// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/plug_request.h"

#include "recovery/secret_mask.h"

namespace pingvard {

namespace {

// Tasmota's Delay counts tenths of a second and allows up to 3600 of them.
constexpr int32_t kTasmotaMaxOffTimeS = 360;

std::string BaseUrl(const THttpSettings& s) {
    std::string host = s.Host;
    if (host.find(':') != std::string::npos && host.front() != '[') {
        host = "[" + host + "]"; // an IPv6 literal
    }
    std::string url = (s.Https ? "https://" : "http://") + host;
    if (s.Port > 0) {
        url += ":" + std::to_string(s.Port);
    }
    return url;
}

TPlugRequest Shelly1(const THttpSettings& s) {
    // First generation: the relay's "timer" flips it back after that many seconds.
    TPlugRequest r;
    r.Method = "GET";
    r.Url = BaseUrl(s) + "/relay/" + std::to_string(s.Channel) +
            "?turn=off&timer=" + std::to_string(s.OffTimeS);
    r.Auth = s.Password.empty() ? THttpAuth::None : THttpAuth::Basic;
    r.User = s.User.empty() ? "admin" : s.User;
    return r;
}

TPlugRequest Shelly2(const THttpSettings& s) {
    // Second generation and later: RPC over HTTP; "toggle_after" flips the
    // switch back. Authentication is always digest (SHA-256) as user "admin".
    TPlugRequest r;
    r.Method = "GET";
    r.Url = BaseUrl(s) + "/rpc/Switch.Set?id=" + std::to_string(s.Channel) +
            "&on=false&toggle_after=" + std::to_string(s.OffTimeS);
    r.Auth = s.Password.empty() ? THttpAuth::None : THttpAuth::Digest;
    r.User = s.User.empty() ? "admin" : s.User;
    return r;
}

TPlugRequest Tasmota(const THttpSettings& s) {
    // One Backlog runs all three commands on the plug, the delay in tenths of a second.
    const std::string power = "Power" + std::to_string(s.Channel + 1);
    const std::string backlog =
        "Backlog " + power + " Off;Delay " + std::to_string(s.OffTimeS * 10) + ";" + power + " On";
    TPlugRequest r;
    r.Method = "GET";
    r.Url = BaseUrl(s) + "/cm?";
    if (!s.Password.empty()) {
        // The web password travels as query parameters on this firmware.
        r.Url += "user=" + PercentEncode(s.User.empty() ? "admin" : s.User) +
                 "&password=" + PercentEncode(s.Password) + "&";
    }
    r.Url += "cmnd=" + PercentEncode(backlog);
    return r;
}

} // namespace

TPlugRequestResult BuildPlugRequest(const THttpSettings& s) {
    TPlugRequestResult result;
    if (s.Preset == TPlugPreset::None) {
        if (s.Url.empty()) {
            result.Problem = "no URL set";
            return result;
        }
        TPlugRequest& r = result.Request;
        r.Method = s.Method.empty() ? "GET" : s.Method;
        r.Url = s.Url;
        r.Body = s.Body;
        r.ContentType = s.ContentType;
        r.User = s.User;
        r.Auth = s.Auth;
        r.ExpectStatus = s.ExpectStatus;
        return result;
    }
    if (s.Host.empty()) {
        result.Problem = "no plug host set";
        return result;
    }
    if (s.OffTimeS < 1 || (s.Preset == TPlugPreset::Tasmota && s.OffTimeS > kTasmotaMaxOffTimeS)) {
        result.Problem = "off time out of range";
        return result;
    }
    switch (s.Preset) {
    case TPlugPreset::Shelly1:
        result.Request = Shelly1(s);
        break;
    case TPlugPreset::Shelly2:
        result.Request = Shelly2(s);
        break;
    case TPlugPreset::Tasmota:
    case TPlugPreset::None:
        result.Request = Tasmota(s);
        break;
    }
    if (s.Auth != THttpAuth::None && s.Preset != TPlugPreset::Tasmota) {
        result.Request.Auth = s.Auth; // a firmware that differs from the usual one
    }
    result.Request.PowerCycle = true;
    return result;
}

std::string UrlHost(const std::string& url) {
    std::size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    if (!authority.empty() && authority.front() == '[') {
        return authority.substr(1, authority.find(']') - 1);
    }
    return authority.substr(0, authority.find(':'));
}

} // namespace pingvard

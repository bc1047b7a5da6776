// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/http_action.h"

#include "recovery/curl_transfer.h"
#include "recovery/plug_request.h"
#include "recovery/secret_mask.h"

#include <algorithm>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <string_view>

namespace pingvard {

namespace {

constexpr std::size_t kMaxBody = 4096; // of the answer, for the transcript
// A plug's answer has a few hundred bytes of header; well past that is a
// fault, said as one (libcurl's own limit reads "Out of memory").
constexpr std::size_t kMaxHeader = 64 * 1024;

// What a transfer keeps of the answer.
struct TAnswer {
    std::string Body;
    std::size_t HeaderBytes = 0;
    bool HeaderTooLarge = false;
    bool HeaderEnded = false; // the blank line after the header arrived
};

// One header line past libcurl's own limit (100 KiB) ends the transfer with
// "out of memory" and nothing in the error buffer; before the header's end
// that is the header's size, not the machine's memory. Many lines past ours
// end it in CountHeader.
bool HeaderTooLarge(CURLcode code, const TAnswer& answer) {
    return answer.HeaderTooLarge || (code == CURLE_OUT_OF_MEMORY && !answer.HeaderEnded);
}

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    std::string& body = static_cast<TAnswer*>(user)->Body;
    const size_t bytes = size * count;
    body.append(data, std::min(bytes, kMaxBody - std::min(kMaxBody, body.size())));
    return bytes;
}

// Returning less than given ends the transfer (CURLE_WRITE_ERROR).
size_t CountHeader(char* data, size_t size, size_t count, void* user) {
    auto& answer = *static_cast<TAnswer*>(user);
    const std::string_view line(data, size * count);
    answer.HeaderEnded = line == "\r\n" || line == "\n";
    answer.HeaderBytes += line.size();
    answer.HeaderTooLarge = answer.HeaderBytes > kMaxHeader;
    return answer.HeaderTooLarge ? 0 : size * count;
}

long CurlAuth(THttpAuth auth) {
    switch (auth) {
    case THttpAuth::Basic:
        return CURLAUTH_BASIC;
    case THttpAuth::Digest:
        return CURLAUTH_DIGEST;
    case THttpAuth::None:
        break;
    }
    return CURLAUTH_NONE;
}

void SetOptions(CURL* easy, const TPlugRequest& r, const THttpSettings& s, int32_t limitMs,
                TAnswer& answer) {
    curl_easy_setopt(easy, CURLOPT_URL, r.Url.c_str());
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.Method.c_str());
    if (!r.Body.empty() || r.Method == "POST" || r.Method == "PUT") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, r.Body.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(r.Body.size()));
    }
    if (r.Method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    }
    if (r.Auth != THttpAuth::None) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CurlAuth(r.Auth));
        curl_easy_setopt(easy, CURLOPT_USERNAME, r.User.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, s.Password.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, "");          // never a proxy from the environment
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L); // the answer is the plug's own
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(limitMs, 1)));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, CountHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &answer);
    if (!s.CaFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, s.CaFile.c_str());
    }
    if (!s.PinnedKey.empty()) {
        // A self-signed certificate: no authority vouches for it, the pinned
        // key does (checked by libcurl whatever the peer verification says).
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, s.PinnedKey.c_str());
    }
}

std::string FailureReason(CURLcode code, const std::string& host, int32_t limitMs) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return "cannot connect to " + host;
    case CURLE_OPERATION_TIMEDOUT:
        return "no answer from " + host + " within " + std::to_string((limitMs + 999) / 1000) +
               " s";
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return "certificate of " + host + " does not match the pinned key";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return "certificate of " + host + " not trusted";
    case CURLE_SSL_CONNECT_ERROR:
        return "TLS handshake with " + host + " failed";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return "connection to " + host + " lost";
    default:
        break;
    }
    return std::string(curl_easy_strerror(code)) + " (" + host + ")";
}

} // namespace

THttpAction::THttpAction(TActionConfig config) : m_config(std::move(config)) {
    curl::InitOnce();
}

TRecoveryOutcome THttpAction::Run(TActionReport& report) {
    const TPlugRequestResult built = BuildPlugRequest(m_config.Http);
    const bool powerCycle = m_config.Http.Preset != TPlugPreset::None;
    const std::string fail = powerCycle ? "Unable to power cycle, " : "Unable to reset, ";
    const std::string ok = (powerCycle ? "Power cycle OK (" : "Reset OK (") + m_config.Name + ")";
    if (!m_config.Problem.empty() || !built.Problem.empty()) {
        return Outcome(false, fail + (m_config.Problem.empty() ? built.Problem : m_config.Problem));
    }
    if (m_abort.Raised()) {
        return Outcome(false, fail + "aborted");
    }
    const TPlugRequest& request = built.Request;
    const std::string host = UrlHost(request.Url);
    const std::vector<std::string> secrets{m_config.Http.Password};
    std::unique_ptr<CURL, curl::TEasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return Outcome(false, fail + "out of memory");
    }
    TAnswer answer;
    SetOptions(easy.get(), request, m_config.Http, m_config.TimeLimitMs, answer);
    report.Step("Sending " + request.Method + " to " + host);
    report.Transcript("> " + request.Method + " " + MaskSecrets(request.Url, secrets));
    if (!request.Body.empty()) {
        report.Transcript("> " + MaskSecrets(request.Body, secrets));
    }
    const CURLcode code = curl::Perform(easy.get(), m_abort);
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        report.Transcript("= aborted");
        return Outcome(false, fail + "aborted");
    }
    if (code != CURLE_OK) {
        const std::string reason = HeaderTooLarge(code, answer)
                                       ? "response header too large (" + host + ")"
                                       : FailureReason(code, host, m_config.TimeLimitMs);
        report.Step(reason);
        report.Transcript("= " + reason);
        return Outcome(false, fail + reason);
    }
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    report.Step("HTTP " + std::to_string(status));
    report.Transcript("< HTTP " + std::to_string(status));
    if (!answer.Body.empty()) {
        report.Transcript("< " + MaskSecrets(answer.Body, secrets));
    }
    if (status != request.ExpectStatus) {
        return Outcome(false, fail + "HTTP " + std::to_string(status) + " from " + host);
    }
    return Outcome(true, ok);
}

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/curl_transport.h"

#include "net/abort_signal.h"
#include "recovery/curl_transfer.h"

#include <algorithm>
#include <curl/curl.h>
#include <mutex>
#include <string_view>

namespace pingvard {

namespace {

constexpr std::size_t kMaxAnswer = 512;
constexpr long kConnectLimitMs = 10000;

struct TListDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using TList = std::unique_ptr<curl_slist, TListDeleter>;

struct TExchange {
    std::string_view Upload; // what is left of the mail to send
    std::string Body;        // the HTTP answer's start
    std::string LastLine;    // the server's last status line (SMTP replies come as header lines)
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto& x = *static_cast<TExchange*>(user);
    const size_t n = std::min(size * count, x.Upload.size());
    std::copy_n(x.Upload.data(), n, buffer);
    x.Upload.remove_prefix(n);
    return n;
}

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    auto& body = static_cast<TExchange*>(user)->Body;
    body.append(data, std::min(size * count, kMaxAnswer - std::min(kMaxAnswer, body.size())));
    return size * count;
}

size_t KeepLine(char* data, size_t size, size_t count, void* user) {
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (!line.empty()) {
        static_cast<TExchange*>(user)->LastLine = std::string(line.substr(0, kMaxAnswer));
    }
    return size * count;
}

std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

void Common(CURL* easy, int32_t limitMs, const std::string& caFile, TExchange& x, char* error) {
    if (!caFile.empty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, "");          // never a proxy from the environment
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L); // the answer is the server's own
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(limitMs, 1)));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     std::min(kConnectLimitMs, static_cast<long>(std::max(limitMs, 1))));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, KeepLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
}

class TCurlTransport final : public TNotifyTransport {
public:
    TCurlTransport() { curl::InitOnce(); }

    TDelivery Send(const TMailRequest& mail) override {
        std::unique_ptr<CURL, curl::TEasyDeleter> easy(curl_easy_init());
        if (!easy) {
            return {false, "out of memory"};
        }
        TExchange x;
        x.Upload = mail.Payload;
        char error[CURL_ERROR_SIZE] = {};
        Common(easy.get(), mail.TimeLimitMs, mail.CaFile, x, error);
        CURL* e = easy.get();
        curl_easy_setopt(e, CURLOPT_URL, mail.Server.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        curl_easy_setopt(e, CURLOPT_USE_SSL,
                         mail.RequireStartTls ? static_cast<long>(CURLUSESSL_ALL)
                                              : static_cast<long>(CURLUSESSL_TRY));
        if (!mail.User.empty() || !mail.Password.empty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, mail.User.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, mail.Password.c_str());
        }
        const std::string from = "<" + mail.From + ">";
        curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
        TList rcpt;
        for (const std::string& to : mail.To) {
            curl_slist* grown = curl_slist_append(rcpt.get(), ("<" + to + ">").c_str());
            if (grown == nullptr) {
                return {false, "out of memory"};
            }
            static_cast<void>(rcpt.release());
            rcpt.reset(grown);
        }
        curl_easy_setopt(e, CURLOPT_MAIL_RCPT, rcpt.get());
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
        curl_easy_setopt(e, CURLOPT_READDATA, &x);
        curl_easy_setopt(e, CURLOPT_INFILESIZE, static_cast<long>(mail.Payload.size()));
        const CURLcode code = Perform(e);
        if (code == CURLE_OK) {
            return {true, x.LastLine.empty() ? "accepted" : x.LastLine};
        }
        return {false, Why(code, error, x, UrlHost(mail.Server))};
    }

    TDelivery Send(const THttpPost& post) override {
        std::unique_ptr<CURL, curl::TEasyDeleter> easy(curl_easy_init());
        if (!easy) {
            return {false, "out of memory"};
        }
        TExchange x;
        char error[CURL_ERROR_SIZE] = {};
        Common(easy.get(), post.TimeLimitMs, post.CaFile, x, error);
        CURL* e = easy.get();
        curl_easy_setopt(e, CURLOPT_URL, post.Url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, post.Body.c_str());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, static_cast<long>(post.Body.size()));
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, KeepBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &x);
        TList headers;
        for (const std::string& header : post.Headers) {
            curl_slist* grown = curl_slist_append(headers.get(), header.c_str());
            if (grown == nullptr) {
                return {false, "out of memory"};
            }
            static_cast<void>(headers.release());
            headers.reset(grown);
        }
        // No "Expect: 100-continue" wait before the body.
        curl_slist* grown = curl_slist_append(headers.get(), "Expect:");
        if (grown != nullptr) {
            static_cast<void>(headers.release());
            headers.reset(grown);
        }
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
        const CURLcode code = Perform(e);
        if (code != CURLE_OK) {
            return {false, Why(code, error, x, UrlHost(post.Url))};
        }
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        std::string answer = "HTTP " + std::to_string(status);
        if (const std::string body = OneLine(x.Body); !body.empty()) {
            answer += ": " + body;
        }
        return {status >= 200 && status < 300, answer};
    }

    void Abort() noexcept override { m_abort.Raise(); }

private:
    static std::string UrlHost(const std::string& url) {
        std::string_view host(url);
        if (const auto scheme = host.find("://"); scheme != std::string_view::npos) {
            host.remove_prefix(scheme + 3);
        }
        host = host.substr(0, host.find('/'));
        if (const auto at = host.rfind('@'); at != std::string_view::npos) {
            host.remove_prefix(at + 1); // never a user or password written into the address
        }
        return std::string(host);
    }

    std::string Why(CURLcode code, const char* error, const TExchange& x,
                    const std::string& host) const {
        if (code == CURLE_ABORTED_BY_CALLBACK && m_abort.Raised()) {
            return "stopped";
        }
        std::string why;
        switch (code) {
        case CURLE_LOGIN_DENIED:
            why = "login refused by " + host;
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            why = "cannot find " + host;
            break;
        case CURLE_COULDNT_CONNECT:
            why = "cannot connect to " + host;
            break;
        case CURLE_OPERATION_TIMEDOUT:
            why = "no answer from " + host + " in time";
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            why = "certificate of " + host + " not trusted";
            break;
        case CURLE_USE_SSL_FAILED:
            why = host + " does not offer STARTTLS";
            break;
        default:
            why = (error[0] != '\0' ? OneLine(error) : std::string(curl_easy_strerror(code))) +
                  " (" + host + ")";
            break;
        }
        return x.LastLine.empty() ? why : why + ": " + x.LastLine;
    }

    CURLcode Perform(CURL* easy) { return curl::Perform(easy, m_abort); }

    TAbortSignal m_abort;
};

} // namespace

std::unique_ptr<TNotifyTransport> MakeCurlTransport() {
    return std::make_unique<TCurlTransport>();
}

} // namespace pingvard

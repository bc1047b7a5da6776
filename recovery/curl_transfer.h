// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every libcurl user of the program shares: the handles' owners, the
// library's one-time set-up and a transfer that an abort signal ends. Header
// only, for the modules that link libcurl (the http action, the notification
// transport); the program itself never includes it.

#include "net/abort_signal.h"

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace pingvard::curl {

// CURL and CURLM are both void: one deleter each.
struct TEasyDeleter {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
struct TMultiDeleter {
    void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
};

// Not thread-safe in every libcurl build, so once before the first use.
inline void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// How often a transfer looks at the abort signal when its descriptor cannot
// wake the poll.
inline constexpr int kPollStepMs = 200;

// Runs the transfer; CURLE_ABORTED_BY_CALLBACK when the abort signal rose.
inline CURLcode Perform(CURL* easy, const TAbortSignal& abort) {
    std::unique_ptr<CURLM, TMultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (int running = 1; running > 0 && !abort.Raised();) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        if (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued);
            msg != nullptr && msg->msg == CURLMSG_DONE) {
            result = msg->data.result;
            break;
        }
        curl_waitfd wake{abort.WaitFd(), CURL_WAIT_POLLIN, 0};
        curl_multi_poll(multi.get(), &wake, wake.fd >= 0 ? 1 : 0, kPollStepMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
}

} // namespace pingvard::curl

// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/transport_module.h"
#include "web/http_server.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace pingvard {
namespace {

// A directory of its own, removed at the end.
class TScratch {
public:
    TScratch() {
        std::string pattern = "/tmp/pv-notify-module-XXXXXX";
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Loaded on the first send, the module's transport delivers with the
// libcurl it brought.
TEST(NotifyModule, DeliversWithItsLibraryLoadedLate) {
    THttpRoutes routes;
    routes.Post("/hook", [](const THttpRequest&) { return THttpResponse::Text(200, "ok"); });
    THttpServer server(std::move(routes));
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, error)) << error;
    const auto transport = MakeModuleTransport({PINGVARD_TEST_MODULE_DIR});
    THttpPost post;
    post.Url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/hook";
    post.Body = "{}";
    post.TimeLimitMs = 5000;
    const TDelivery delivery = transport->Send(post);
    EXPECT_TRUE(delivery.Accepted) << delivery.Answer;
    EXPECT_EQ(delivery.Answer, "HTTP 200: ok");
}

// Without the module, or with a file there that is none, every send fails
// with one line naming the file and why; nothing else breaks.
TEST(NotifyModule, AMissingOrBrokenModuleFailsEverySendWithOneLine) {
    const TScratch empty;
    const TScratch broken;
    ASSERT_FALSE(empty.Path().empty());
    ASSERT_FALSE(broken.Path().empty());
    std::ofstream(broken.Path() + "/pingvard-notify.so") << "not a shared object\n";
    const struct {
        std::string Dir;
        std::string Answer; // how it begins
    } cases[] = {
        {empty.Path(), "pingvard-notify.so is not installed (looked in " + empty.Path() + ")"},
        {broken.Path(), "cannot load " + broken.Path() + "/pingvard-notify.so ("},
    };
    for (const auto& c : cases) {
        const auto transport = MakeModuleTransport({c.Dir});
        for (const TDelivery& d : {transport->Send(THttpPost{}), transport->Send(TMailRequest{})}) {
            EXPECT_FALSE(d.Accepted);
            EXPECT_EQ(d.Answer.substr(0, c.Answer.size()), c.Answer);
            EXPECT_EQ(d.Answer.find('\n'), std::string::npos);
        }
        transport->Abort();
    }
}

} // namespace
} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/web/web_settings.h"

#include "config/recovery_settings.h"
#include "config/section_reader.h"
#include "config/web/listen_address.h"

#include <cctype>
#include <fstream>
#include <string_view>

namespace pingvard {

namespace {

// Token, or TokenFile read and checked; the token itself never goes into a
// line.
std::string ReadToken(TSectionReader& r, const std::string& programDir) {
    const std::string file = r.Text("TokenFile");
    if (file.empty()) {
        return r.Text("Token");
    }
    if (r.Has("Token")) {
        r.Note("has both Token and TokenFile; using TokenFile");
    }
    const std::string path = file.front() == '/' ? file : programDir + file;
    if (const std::string problem = PrivateFileProblem(path, "token file"); !problem.empty()) {
        r.Problem("TokenFile", file, problem + "; the page stays read-only");
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::string token;
    std::getline(in, token);
    if (!token.empty() && token.back() == '\r') {
        token.pop_back();
    }
    return token;
}

// What a Bearer field can carry (RFC 6750 2.1).
bool Token68(const std::string& token) {
    const std::size_t body = token.find_last_not_of('=') + 1;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = token[i];
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) != 0 ||
                        std::string_view("-._~+/").find(c) != std::string_view::npos;
        if (i < body ? !ok : c != '=') {
            return false;
        }
    }
    return true;
}

} // namespace

TWebSettings ReadWebSettings(TCustomIniFile& ini, const std::string& programDir,
                             std::vector<std::string>& problems) {
    TSettingsReader file(ini.Index(), problems);
    TSectionReader r = file.Section("Web");
    TWebSettings w;
    w.Enabled = r.Flag("Enabled", w.Enabled);
    w.Port = r.Number("Port", w.Port, 1, 65535);
    w.AllInterfaces = r.Flag("AllInterfaces", w.AllInterfaces);
    w.Address = ReadListenAddress(r, w.Address, w.AllInterfaces);
    std::string token = ReadToken(r, programDir);
    if (!Token68(token)) {
        r.Note("the token holds more than letters, digits and -._~+/ (it goes into an "
               "Authorization field); the page stays read-only");
    } else if (!token.empty() && token.size() < kMinWebTokenLength) {
        r.Note("the token is shorter than " + std::to_string(kMinWebTokenLength) +
               " characters; the page stays read-only");
    } else {
        w.Token = std::move(token);
    }
    return w;
}

} // namespace pingvard

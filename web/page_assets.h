// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The status page's files (web/page/), built into the program when it is
// compiled: nothing is served from disk, and the page is the program's own.

#include <span>
#include <string_view>

namespace pingvard {

struct TPageAsset {
    std::string_view Path; // "/", "/app.js", "/style.css"
    std::string_view ContentType;
    std::string_view Body;
};

std::span<const TPageAsset> PageAssets();

} // namespace pingvard

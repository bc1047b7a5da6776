// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/core_dumps.h"

#include <cstdlib>
#include <cstring>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace pingvard {

bool KeepSecretsOutOfCoreDumps() noexcept {
    const char* allow = std::getenv("PINGVARD_ALLOW_CORE_DUMPS");
    if (allow != nullptr && std::strcmp(allow, "1") == 0) {
        return true;
    }
#if defined(__linux__)
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
#else
    return true; // elsewhere the platform's own settings decide
#endif
}

} // namespace pingvard

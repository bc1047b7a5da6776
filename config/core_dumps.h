// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pingvard {

// Once the settings are loaded the process holds every configured secret (the
// device password, the actions' passwords, an SSH key read on use): a core
// dump or a debugger attached by the same user would hand them out. Marks the
// process not dumpable (no core file, no ptrace by an unprivileged user, /proc
// files of the process owned by root), unless PINGVARD_ALLOW_CORE_DUMPS=1 is
// set in its environment for debugging (docs/reliability.md). False when the
// system refused.
bool KeepSecretsOutOfCoreDumps() noexcept;

} // namespace pingvard

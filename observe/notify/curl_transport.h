// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The notifications' transport over libcurl: SMTP for mail (STARTTLS when the
// server offers it, required with RequireStartTls; smtps:// is TLS from the
// start), HTTP(S) POST for web hooks. Certificates are checked, no proxy is
// taken from the environment, no redirect is followed. The only file of the
// channels that uses libcurl, in a library of its own.

#include "observe/notify/transport.h"

#include <memory>

namespace pingvard {

std::unique_ptr<TNotifyTransport> MakeCurlTransport();

} // namespace pingvard

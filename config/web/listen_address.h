// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The address a listener of the program binds ([Metrics], [Web]): numeric,
// loopback unless the section says otherwise, and every interface only with
// AllInterfaces=1 beside it.

#include "config/section_reader.h"

#include <string>

namespace pingvard {

// The section's Address, or def; "0.0.0.0" or "::" only when allInterfaces,
// which alone (without Address) means "0.0.0.0". A refused value gives one
// problem line and def.
std::string ReadListenAddress(TSectionReader& r, const std::string& def, bool allInterfaces);

} // namespace pingvard

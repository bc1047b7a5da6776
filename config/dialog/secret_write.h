// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the settings dialog stores a secret: in its own file, or in
// pingvard.ini made private first. Both throw EIniFileException.

#include <string>

namespace pingvard {

// Makes path readable by its owner alone before a secret goes into it; the
// atomic rewrite keeps the mode of the file it replaces.
void MakePrivate(const std::string& path);
// The secret as the file's one line, the file mode 0600.
void WriteSecretFile(const std::string& path, const std::string& secret);
// path itself when absolute, else in dir (which ends in '/').
std::string InDir(const std::string& dir, const std::string& path);

} // namespace pingvard

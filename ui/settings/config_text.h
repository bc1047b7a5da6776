// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace pingvard {

// Text values of pingvard.ini are bytes: the file may come from Windows and
// hold names in its 8-bit code page. These turn them into text for the screen
// and back without ever changing a value the operator did not edit.

// Valid UTF-8 as such; anything else as windows-1250, the code page of the
// program's own Czech texts (never as replacement characters).
QString DisplayText(std::string_view bytes);

// The program's own texts and the names it makes, which are UTF-8.
QString Utf8Text(std::string_view text);

// The bytes to store for what a field shows: the original bytes when the
// field still shows them unchanged, otherwise the new text as UTF-8.
std::string ConfigBytes(const QString& shown, const std::string& original);

// One windows-1250 byte as a UTF-16 code unit. The five bytes the code page
// leaves undefined map to the C1 controls of the same value, as Windows does.
char16_t Windows1250ToUnicode(unsigned char byte);

} // namespace pingvard

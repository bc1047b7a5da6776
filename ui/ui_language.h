// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTranslator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// The desktop program speaks Czech (the captions as designed, the texts in
// the code) or English (ui/translations/pingvard_en.ts). Logs, the status
// line and the console program stay English in both.
enum class TUiLanguage { Czech, English };

// "cs" or "en", in any case; nothing else.
std::optional<TUiLanguage> ParseUiLanguage(std::string_view text);

// The locale variables that choose the language, as the environment has them
// (an unset one is empty).
struct TLocaleEnvironment {
    std::string LcAll, LcMessages, Lang, Language;

    static TLocaleEnvironment FromProcess();
};

// The language of the user's locale, read as message catalogues are: the
// first set of LC_ALL, LC_MESSAGES and LANG names the locale; under the C or
// POSIX locale (or none) the program speaks English. Otherwise LANGUAGE, a
// list of preferences such as "cs:en", decides by its first entry in Czech or
// English, and without such an entry the locale does: Czech when its language
// is cs ("cs", "cs_CZ.UTF-8", not "csb_PL").
TUiLanguage LocaleLanguage(const TLocaleEnvironment& environment);

// --lang beats [Desktop] Language in pingvard.ini, which beats the locale.
TUiLanguage ChooseUiLanguage(std::optional<TUiLanguage> commandLine,
                             std::optional<TUiLanguage> configured,
                             const TLocaleEnvironment& environment);

// The desktop program's language: `commandLine` is --lang's value or empty;
// [Desktop] Language is read from pingvard.ini in the current directory
// without writing it (the captions are made before the start-up load). An
// invalid value there adds a line to `problems`.
TUiLanguage DesktopLanguage(std::string_view commandLine, std::vector<std::string>& problems);

// Puts the application's texts into the language for as long as it lives;
// make it after the application object and before the first window.
class TUiTranslation {
public:
    explicit TUiTranslation(TUiLanguage language);
    ~TUiTranslation();
    TUiTranslation(const TUiTranslation&) = delete;
    TUiTranslation& operator=(const TUiTranslation&) = delete;

private:
    QTranslator m_program; // our captions: English when chosen
    QTranslator m_qt;      // Qt's own texts (line edit menus, standard buttons)
    bool m_programInstalled = false;
    bool m_qtInstalled = false;
};

} // namespace pingvard

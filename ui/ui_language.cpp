// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ui_language.h"

#include "config/desktop_settings.h"
#include "config/ini_text.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <cstdlib>

namespace pingvard {

namespace {

// "cs" of "cs_CZ.UTF-8@euro".
std::string_view LanguagePart(std::string_view locale) {
    return locale.substr(0, locale.find_first_of("_.@"));
}

bool IsCOrPosix(std::string_view locale) {
    const std::string_view language = LanguagePart(locale);
    return language.empty() || language == "C" || language == "POSIX";
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::optional<TUiLanguage> ParseUiLanguage(std::string_view text) {
    const std::string lower = Lower(text);
    if (lower == "cs") {
        return TUiLanguage::Czech;
    }
    if (lower == "en") {
        return TUiLanguage::English;
    }
    return std::nullopt;
}

TLocaleEnvironment TLocaleEnvironment::FromProcess() {
    return {Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG"), Variable("LANGUAGE")};
}

TUiLanguage LocaleLanguage(const TLocaleEnvironment& environment) {
    std::string_view locale;
    for (const std::string* candidate :
         {&environment.LcAll, &environment.LcMessages, &environment.Lang}) {
        if (!candidate->empty()) {
            locale = *candidate;
            break;
        }
    }
    if (IsCOrPosix(locale)) {
        return TUiLanguage::English;
    }
    std::string_view preferences = environment.Language;
    while (!preferences.empty()) {
        const size_t colon = preferences.find(':');
        if (auto language = ParseUiLanguage(LanguagePart(preferences.substr(0, colon)))) {
            return *language;
        }
        preferences =
            colon == std::string_view::npos ? std::string_view() : preferences.substr(colon + 1);
    }
    return LanguagePart(locale) == "cs" ? TUiLanguage::Czech : TUiLanguage::English;
}

TUiLanguage ChooseUiLanguage(std::optional<TUiLanguage> commandLine,
                             std::optional<TUiLanguage> configured,
                             const TLocaleEnvironment& environment) {
    if (commandLine) {
        return *commandLine;
    }
    if (configured) {
        return *configured;
    }
    return LocaleLanguage(environment);
}

TUiLanguage DesktopLanguage(std::string_view commandLine, std::vector<std::string>& problems) {
    TDesktopSettings settings;
    {
        TIniFile ini(ConfigFileName());
        settings = ReadDesktopSettings(ini, problems);
    }
    return ChooseUiLanguage(ParseUiLanguage(commandLine), ParseUiLanguage(settings.Language),
                            TLocaleEnvironment::FromProcess());
}

TUiTranslation::TUiTranslation(TUiLanguage language) {
    // The designed Czech captions are the texts in the code: Czech needs no
    // translation of ours, only Qt's own texts (when Debian's are installed).
    if (language == TUiLanguage::English) {
        m_programInstalled =
            m_program.load(QStringLiteral(":/pingvard/translations/pingvard_en.qm")) &&
            QCoreApplication::installTranslator(&m_program);
    } else {
        m_qtInstalled = m_qt.load(QStringLiteral("qtbase_cs"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                        QCoreApplication::installTranslator(&m_qt);
    }
}

TUiTranslation::~TUiTranslation() {
    if (m_programInstalled) {
        QCoreApplication::removeTranslator(&m_program);
    }
    if (m_qtInstalled) {
        QCoreApplication::removeTranslator(&m_qt);
    }
}

} // namespace pingvard

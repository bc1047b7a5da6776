// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/local_timestamp.h"

#include <cctype>
#include <clocale>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <string_view>

namespace pingvard {
namespace {

std::string TwoDigits(int value) {
    return std::string{static_cast<char>('0' + value / 10 % 10),
                       static_cast<char>('0' + value % 10)};
}

// A separator must be one printable ASCII character: a byte of a multibyte
// character would corrupt the text.
bool UsableSeparator(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x80 && std::isprint(u) && c != '%';
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

size_t RunLength(std::string_view text, size_t pos) {
    size_t end = pos;
    while (end < text.size() && Lower(text[end]) == Lower(text[pos]))
        ++end;
    return end - pos;
}

std::string DatePart(char letter, size_t run, const std::tm& t, const TRegionalSettings& s) {
    const auto day = static_cast<size_t>(t.tm_wday % 7);
    const auto month = static_cast<size_t>(t.tm_mon % 12);
    switch (letter) {
    case 'd':
        return run == 1   ? std::to_string(t.tm_mday)
               : run == 2 ? TwoDigits(t.tm_mday)
               : run == 3 ? s.ShortDayNames[day]
                          : s.LongDayNames[day];
    case 'm':
        return run == 1   ? std::to_string(t.tm_mon + 1)
               : run == 2 ? TwoDigits(t.tm_mon + 1)
               : run == 3 ? s.ShortMonthNames[month]
                          : s.LongMonthNames[month];
    case 'y':
        return run <= 2 ? TwoDigits((t.tm_year + 1900) % 100) : std::to_string(t.tm_year + 1900);
    default: // 'g': no era in this calendar
        return {};
    }
}

std::string RenderDate(const std::tm& t, const TRegionalSettings& s) {
    const std::string_view picture = s.ShortDatePicture;
    std::string out;
    size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'' || c == '"') {
            const auto close = picture.find(c, i + 1);
            out.append(
                picture.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
            i = close == std::string_view::npos ? picture.size() : close + 1;
        } else if (c == '/') {
            out += s.DateSeparator;
            ++i;
        } else if (const char letter = Lower(c);
                   letter == 'd' || letter == 'm' || letter == 'y' || letter == 'g') {
            const size_t run = RunLength(picture, i);
            out += DatePart(letter, run, t, s);
            i += run;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string RenderTime(const std::tm& t, const TRegionalSettings& s) {
    int hour = t.tm_hour;
    if (!s.Clock24)
        hour = hour % 12 == 0 ? 12 : hour % 12;
    std::string time = s.HourLeadingZero ? TwoDigits(hour) : std::to_string(hour);
    time += s.TimeSeparator + TwoDigits(t.tm_min) + s.TimeSeparator + TwoDigits(t.tm_sec);
    if (s.Clock24)
        return time;
    const std::string& marker = t.tm_hour < 12 ? s.AmText : s.PmText;
    if (marker.empty())
        return time;
    return s.MarkerBeforeTime ? marker + " " + time : time + " " + marker;
}

// Replaces the composite conversions by their parts.
std::string ExpandComposites(std::string_view format) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const char c = format[++i];
        out += c == 'D'   ? "%m/%d/%y"
               : c == 'F' ? "%Y-%m-%d"
               : c == 'T' ? "%H:%M:%S"
               : c == 'r' ? "%I:%M:%S %p"
               : c == 'R' ? "%H:%M"
                          : std::string{'%', c};
    }
    return out;
}

std::optional<std::string_view> DateToken(std::string_view conversion) {
    static constexpr std::pair<std::string_view, std::string_view> kMap[] = {
        {"d", "dd"},   {"e", "d"},   {"-d", "d"},   {"-e", "d"},  {"m", "MM"},
        {"-m", "M"},   {"y", "yy"},  {"Y", "yyyy"}, {"b", "MMM"}, {"h", "MMM"},
        {"B", "MMMM"}, {"a", "ddd"}, {"A", "dddd"}};
    for (const auto& [from, to] : kMap)
        if (from == conversion)
            return to;
    return std::nullopt;
}

} // namespace

void ApplyDateFormat(TRegionalSettings& settings, const std::string& dFmt) {
    const std::string format = ExpandComposites(dFmt);
    std::string picture;
    std::optional<char> separator;
    bool anyConversion = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%') {
            const size_t length = (i + 1 < format.size() && format[i + 1] == '-') ? 2 : 1;
            const auto token = DateToken(std::string_view{format}.substr(i + 1, length));
            if (!token)
                return; // a conversion the picture cannot express: keep the fallbacks
            picture += *token;
            anyConversion = true;
            i += length;
            continue;
        }
        const char c = format[i];
        if (!separator && c != ' ' && UsableSeparator(c) &&
            !std::isalnum(static_cast<unsigned char>(c)) && c != '\'' && c != '"')
            separator = c;
        if (separator && c == *separator)
            picture += '/';
        else if (std::isalpha(static_cast<unsigned char>(c)) || c == '/' || c == '\'')
            picture += std::string{'"', c, '"'};
        else if (c == '"')
            picture += "'\"'";
        else
            picture += c;
    }
    if (!anyConversion)
        return;
    settings.ShortDatePicture = picture;
    settings.DateSeparator = separator.value_or('/');
}

void ApplyTimeFormat(TRegionalSettings& settings, const std::string& tFmt) {
    const std::string format = ExpandComposites(tFmt);
    bool markerSeen = false;
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        const bool noPad = format[i + 1] == '-';
        const size_t at = noPad ? i + 2 : i + 1;
        if (at >= format.size())
            return;
        const char c = format[at];
        if (c == 'p' || c == 'P') {
            markerSeen = true;
        } else if (c == 'H' || c == 'k' || c == 'I' || c == 'l') {
            settings.Clock24 = c == 'H' || c == 'k';
            settings.HourLeadingZero = !noPad && (c == 'H' || c == 'I');
            settings.MarkerBeforeTime = markerSeen;
            if (at + 1 < format.size() && UsableSeparator(format[at + 1]))
                settings.TimeSeparator = format[at + 1];
            return;
        }
        i = at;
    }
}

TRegionalSettings ReadRegionalSettings() {
    TRegionalSettings settings;
    const locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return settings; // the user's locale is not installed: every fallback
    auto item = [&](nl_item what) { return std::string{::nl_langinfo_l(what, locale)}; };
    auto fill = [&](auto& names, nl_item first) {
        for (size_t i = 0; i < names.size(); ++i)
            if (auto text = item(static_cast<nl_item>(first + static_cast<nl_item>(i)));
                !text.empty())
                names[i] = text;
    };
    ApplyDateFormat(settings, item(D_FMT));
    ApplyTimeFormat(settings, item(T_FMT));
    if (auto am = item(AM_STR); !am.empty())
        settings.AmText = am;
    if (auto pm = item(PM_STR); !pm.empty())
        settings.PmText = pm;
    fill(settings.ShortDayNames, ABDAY_1);
    fill(settings.LongDayNames, DAY_1);
    fill(settings.ShortMonthNames, ABMON_1);
    fill(settings.LongMonthNames, MON_1);
    ::freelocale(locale);
    return settings;
}

std::string FormatTimestamp(const std::tm& time, const TRegionalSettings& settings) {
    std::string text = RenderDate(time, settings);
    if (time.tm_hour != 0 || time.tm_min != 0 || time.tm_sec != 0)
        text += " " + RenderTime(time, settings);
    return text;
}

std::string LocalTimestamp() {
    return LocalTimestampAt(std::time(nullptr));
}

std::string LocalTimestampAt(std::time_t when) {
    static const TRegionalSettings settings = [] {
        ::tzset();
        return ReadRegionalSettings();
    }();
    std::tm local{};
    ::localtime_r(&when, &local);
    return FormatTimestamp(local, settings);
}

} // namespace pingvard

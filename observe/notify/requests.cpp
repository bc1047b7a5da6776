// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/notify/requests.h"

#include "observe/iso_time.h"
#include "observe/web/json_writer.h"

#include <cstdio>
#include <ctime>

namespace pingvard {

namespace {

// A header value on one line, whatever the settings or the event hold.
std::string OneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += c == '\r' || c == '\n' ? ' ' : c;
    }
    return out;
}

bool Ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string Base64(std::string_view data) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        uint32_t n = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) {
            n |= static_cast<unsigned char>(data[i + 1]) << 8;
        }
        if (i + 2 < data.size()) {
            n |= static_cast<unsigned char>(data[i + 2]);
        }
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < data.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

// A Subject of any text: RFC 2047 encoded when it is not plain ASCII.
std::string MailSubject(std::string_view title) {
    const std::string line = OneLine(title);
    return Ascii(line) ? line : "=?UTF-8?B?" + Base64(line) + "?=";
}

std::string Crlf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += "\r\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::string DomainOf(const std::string& address) {
    const auto at = address.rfind('@');
    std::string domain = at == std::string::npos ? "localhost" : address.substr(at + 1);
    while (!domain.empty() && (domain.back() == '>' || domain.back() == ' ')) {
        domain.pop_back();
    }
    return domain.empty() ? "localhost" : domain;
}

std::string DroppedLine(uint64_t dropped) {
    return "Note: " + std::to_string(dropped) + " earlier notification" +
           (dropped == 1 ? " was" : "s were") + " dropped: the queue was full.\n";
}

std::string Text(const TNotification& m, uint64_t dropped) {
    return dropped == 0 ? m.Body : m.Body + "\n" + DroppedLine(dropped);
}

std::string Tags(const TNotification& m) {
    if (m.Event == "site-down") {
        return "rotating_light,pingvard";
    }
    if (m.Event == "site-back") {
        return "white_check_mark,pingvard";
    }
    if (m.Event == "restarts-paused") {
        return "warning,pingvard";
    }
    return "pingvard";
}

std::string OurJson(const TNotification& m, uint64_t dropped) {
    return "{\"id\":" + JsonString(m.Id) + ",\"event\":" + JsonString(m.Event) +
           ",\"time\":" + JsonString(FormatLocalTime(m.TimeMs, true)) +
           ",\"title\":" + JsonString(m.Title) + ",\"message\":" + JsonString(Text(m, dropped)) +
           ",\"priority\":" + std::to_string(m.Priority) +
           ",\"dropped_before\":" + std::to_string(dropped) +
           (m.Facts.empty() ? "" : "," + m.Facts) + "}";
}

std::string GotifyUrl(const std::string& url) {
    const std::string_view suffix = "/message";
    if (url.size() >= suffix.size() &&
        url.compare(url.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return url;
    }
    return (!url.empty() && url.back() == '/' ? url.substr(0, url.size() - 1) : url) +
           std::string(suffix);
}

} // namespace

std::string MailDate(int64_t unixMs) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                  (offset < 0 ? -offset : offset) % 60);
    return buffer;
}

TMailRequest BuildMail(const TNotifyChannel& channel, const TNotification& m,
                       uint64_t droppedBefore) {
    const TMailChannel& c = channel.Mail;
    TMailRequest mail;
    mail.Server = c.Server;
    mail.RequireStartTls = c.RequireStartTls;
    mail.User = c.User;
    mail.Password = c.Password;
    mail.From = OneLine(c.From);
    for (const std::string& to : c.To) {
        mail.To.push_back(OneLine(to));
    }
    mail.TimeLimitMs = channel.TimeLimitMs;
    mail.CaFile = channel.CaFile;
    std::string to;
    for (const std::string& address : mail.To) {
        to += (to.empty() ? "" : ", ") + address;
    }
    std::string& p = mail.Payload;
    p = "Date: " + MailDate(m.TimeMs) + "\r\n";
    p += "From: " + mail.From + "\r\n";
    p += "To: " + to + "\r\n";
    p += "Subject: " + MailSubject(m.Title) + "\r\n";
    p += "Message-ID: <" + m.Id + "." + OneLine(channel.Name) + "@" + DomainOf(mail.From) + ">\r\n";
    p += "X-Pingvard-Event: " + m.Event + "\r\n";
    p += "MIME-Version: 1.0\r\n";
    p += "Content-Type: text/plain; charset=utf-8\r\n";
    p += "Content-Transfer-Encoding: 8bit\r\n";
    p += "\r\n";
    p += Crlf(Text(m, droppedBefore));
    return mail;
}

THttpPost BuildPost(const TNotifyChannel& channel, const TNotification& m, uint64_t droppedBefore) {
    const TWebhookChannel& c = channel.Webhook;
    THttpPost post;
    post.Url = c.Url;
    post.TimeLimitMs = channel.TimeLimitMs;
    post.CaFile = channel.CaFile;
    post.Headers.push_back("X-Pingvard-Id: " + m.Id);
    const std::string bearer = c.Token.empty() ? "" : "Authorization: Bearer " + OneLine(c.Token);
    switch (c.Preset) {
    case TWebhookPreset::Ntfy:
        post.Headers.push_back("Content-Type: text/plain; charset=utf-8");
        post.Headers.push_back("Title: " + OneLine(m.Title));
        post.Headers.push_back("Priority: " + std::to_string(m.Priority));
        post.Headers.push_back("Tags: " + Tags(m));
        if (!bearer.empty()) {
            post.Headers.push_back(bearer);
        }
        post.Body = Text(m, droppedBefore);
        break;
    case TWebhookPreset::Gotify:
        post.Url = GotifyUrl(c.Url);
        post.Headers.push_back("Content-Type: application/json");
        post.Headers.push_back("X-Gotify-Key: " + OneLine(c.Token));
        post.Body = "{\"title\":" + JsonString(m.Title) +
                    ",\"message\":" + JsonString(Text(m, droppedBefore)) +
                    ",\"priority\":" + std::to_string(m.Priority * 2) +
                    ",\"extras\":{\"pingvard::message\":{\"id\":" + JsonString(m.Id) + "}}}";
        break;
    case TWebhookPreset::Slack:
        post.Headers.push_back("Content-Type: application/json");
        post.Body = "{\"text\":" + JsonString("*" + m.Title + "*\n" + Text(m, droppedBefore)) + "}";
        break;
    case TWebhookPreset::Json:
        post.Headers.push_back("Content-Type: application/json");
        if (!bearer.empty()) {
            post.Headers.push_back(bearer);
        }
        post.Body = OurJson(m, droppedBefore);
        break;
    }
    return post;
}

} // namespace pingvard

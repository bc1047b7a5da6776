// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/plugsim_device.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace pingvard::plugsim {

namespace {

std::optional<long> Number(const std::string& text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}

THttpResponse Json(int status, std::string body) {
    THttpResponse response;
    response.Status = status;
    response.Body = std::move(body);
    return response;
}

// A JSON value by name, from the flat objects an RPC request carries: enough
// for {"id":0,"on":false,"toggle_after":10} and its envelope.
std::optional<std::string> JsonValue(const std::string& json, const std::string& name) {
    const std::size_t key = json.find("\"" + name + "\"");
    if (key == std::string::npos) {
        return std::nullopt;
    }
    std::size_t at = json.find(':', key);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    if (json[at] == '"') {
        return json.substr(at + 1, json.find('"', at + 1) - at - 1);
    }
    const std::size_t end = json.find_first_of(",} \t\r\n", at);
    return json.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace

TPlugDevice::TPlugDevice(TDeviceOptions options, TAuthenticator& auth, TPlugWorld& world)
    : m_options(std::move(options)), m_auth(auth), m_world(world),
      m_on(static_cast<std::size_t>(std::max(1, m_options.Channels)), true) {
    m_options.Channels = static_cast<int>(m_on.size());
}

THttpResponse TPlugDevice::Handle(const THttpRequest& request, TClock::time_point now) {
    Advance(now);
    const bool open = request.Path == "/shelly" || request.Path == "/rpc/Shelly.GetDeviceInfo";
    if (!open && !m_auth.Check(request)) {
        m_world.Record("request " + request.Method + " " + request.Path + " 401");
        THttpResponse denied =
            Json(401, m_options.Api == TPlugApi::Tasmota
                          ? R"({"WARNING":"Need user=<username>&password=<password>"})"
                          : R"({"code":401,"message":"Unauthorized"})");
        denied.ExtraHeaders = m_auth.Challenge();
        return denied;
    }
    THttpResponse response;
    switch (m_options.Api) {
    case TPlugApi::Shelly1:
        response = Shelly1(request, now);
        break;
    case TPlugApi::Shelly2:
        if (request.Path == "/rpc" && request.Method == "POST") {
            const std::size_t params = request.Body.find("\"params\"");
            const std::map<std::string, std::string> none;
            std::map<std::string, std::string> values;
            for (const char* name : {"id", "on", "toggle_after"}) {
                if (params != std::string::npos) {
                    if (auto v = JsonValue(request.Body.substr(params), name)) {
                        values[name] = *v;
                    }
                }
            }
            response = Shelly2(JsonValue(request.Body, "method").value_or(""), values, now);
        } else if (request.Path.rfind("/rpc/", 0) == 0) {
            std::map<std::string, std::string> values = request.Query;
            if (request.Method == "POST") {
                for (const char* name : {"id", "on", "toggle_after"}) {
                    if (auto v = JsonValue(request.Body, name)) {
                        values[name] = *v;
                    }
                }
            }
            response = Shelly2(request.Path.substr(5), values, now);
        } else {
            response = Json(404, "Not Found");
        }
        break;
    case TPlugApi::Tasmota:
        response = Tasmota(request, now);
        break;
    }
    m_world.Record("request " + request.Method + " " + request.Path + " " +
                   std::to_string(response.Status));
    return response;
}

THttpResponse TPlugDevice::Shelly1(const THttpRequest& request, TClock::time_point now) {
    if (request.Path == "/shelly") {
        return Json(200, std::string(R"({"type":"SHSW-1","mac":"A8032AB12C34","auth":)") +
                             Bool(m_auth.Required()) + R"(,"fw":"20230913-112003/v1.14.0"})");
    }
    if (request.Path.rfind("/relay/", 0) != 0) {
        return Json(404, "Not Found");
    }
    const auto channel = Number(request.Path.substr(7));
    if (!channel || !ValidChannel(static_cast<int>(*channel))) {
        return Json(404, "Not Found");
    }
    const int ch = static_cast<int>(*channel);
    long timer = 0;
    if (const auto it = request.Query.find("timer"); it != request.Query.end()) {
        const auto value = Number(it->second);
        if (!value || *value < 0) {
            return Json(400, "Bad timer!");
        }
        timer = *value;
    }
    if (const auto it = request.Query.find("turn"); it != request.Query.end()) {
        TWhat what;
        if (it->second == "on") {
            what = TWhat::On;
        } else if (it->second == "off") {
            what = TWhat::Off;
        } else if (it->second == "toggle") {
            what = TWhat::Toggle;
        } else {
            return Json(400, "Bad turn!");
        }
        CancelTimers(ch, false);
        Switch(ch, what, now);
        if (timer > 0) { // a one-shot flip back
            Schedule({now + std::chrono::seconds(timer), ch, TWhat::Toggle, true});
        }
    }
    const bool hasTimer = std::any_of(m_timed.begin(), m_timed.end(),
                                      [&](const TTimed& t) { return t.Channel == ch && t.Timer; });
    return Json(200, std::string(R"({"ison":)") + Bool(IsOn(ch)) + R"(,"has_timer":)" +
                         Bool(hasTimer) + R"(,"timer_duration":)" + std::to_string(timer) +
                         R"(,"source":"http"})");
}

THttpResponse TPlugDevice::Shelly2(const std::string& method,
                                   const std::map<std::string, std::string>& params,
                                   TClock::time_point now) {
    if (method == "Shelly.GetDeviceInfo") {
        return Json(200, R"({"id":")" + m_options.DeviceId +
                             R"(","model":"SNSW-001X16EU","gen":2,"auth_en":)" +
                             Bool(m_auth.Required()) + R"(,"auth_domain":")" + m_options.DeviceId +
                             "\"}");
    }
    auto bad = [](const std::string& what) {
        return Json(400, R"({"code":-103,"message":"Invalid argument ')" + what + "'\"}");
    };
    const auto id = params.count("id") ? Number(params.at("id")) : std::optional<long>(0);
    if (!id || !ValidChannel(static_cast<int>(*id))) {
        return bad("id");
    }
    const int ch = static_cast<int>(*id);
    if (method == "Switch.GetStatus") {
        return Json(200, R"({"id":)" + std::to_string(ch) + R"(,"source":"HTTP_in","output":)" +
                             Bool(IsOn(ch)) + "}");
    }
    if (method != "Switch.Set") {
        return Json(404, R"({"code":404,"message":"No handler for )" + method + "\"}");
    }
    const auto on = params.find("on");
    if (on == params.end() || (on->second != "true" && on->second != "false")) {
        return bad("on");
    }
    double toggleAfter = 0;
    if (const auto it = params.find("toggle_after"); it != params.end()) {
        const auto [end, error] =
            std::from_chars(it->second.data(), it->second.data() + it->second.size(), toggleAfter);
        if (error != std::errc() || end != it->second.data() + it->second.size() ||
            toggleAfter <= 0) {
            return bad("toggle_after");
        }
    }
    const bool wasOn = IsOn(ch);
    CancelTimers(ch, false);
    Switch(ch, on->second == "true" ? TWhat::On : TWhat::Off, now);
    if (toggleAfter > 0) {
        const auto after = std::chrono::duration_cast<TClock::duration>(
            std::chrono::duration<double>(toggleAfter));
        Schedule({now + after, ch, TWhat::Toggle, true});
    }
    return Json(200, std::string(R"({"was_on":)") + Bool(wasOn) + "}");
}

THttpResponse TPlugDevice::Tasmota(const THttpRequest& request, TClock::time_point now) {
    const auto cmnd = request.Query.find("cmnd");
    if (request.Path != "/cm" || cmnd == request.Query.end()) {
        return Json(404, "Not Found");
    }
    std::string command = Trimmed(cmnd->second);
    if (Lower(command.substr(0, 8)) != "backlog ") {
        return Json(200, "{" + TasmotaCommand(command, now, now) + "}");
    }
    // The commands of a Backlog run one after another; Delay holds the rest back.
    std::string answers;
    TClock::time_point at = now;
    std::string rest = command.substr(8);
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        const std::string one = Trimmed(rest.substr(0, semicolon));
        rest = semicolon == std::string::npos ? "" : rest.substr(semicolon + 1);
        const std::string lower = Lower(one);
        if (lower.rfind("delay ", 0) == 0) {
            const auto tenths = Number(Trimmed(one.substr(6)));
            if (tenths && *tenths > 0) {
                at += std::chrono::milliseconds(*tenths * 100);
            }
            continue;
        }
        const std::string answer = TasmotaCommand(one, at, now);
        if (at == now && !answer.empty()) {
            answers += (answers.empty() ? "" : ",") + answer;
        }
    }
    return Json(200, "{" + answers + "}");
}

// One command; what it answers when run now (a "key":value pair), or at a later
// time scheduled and answered with nothing.
std::string TPlugDevice::TasmotaCommand(const std::string& command, TClock::time_point at,
                                        TClock::time_point now) {
    const std::size_t space = command.find(' ');
    const std::string name = Lower(command.substr(0, space));
    const std::string arg = space == std::string::npos ? "" : Lower(Trimmed(command.substr(space)));
    if (name.rfind("power", 0) != 0) {
        return R"("Command":"Unknown")";
    }
    const auto index = name.size() == 5 ? std::optional<long>(1) : Number(name.substr(5));
    if (!index || !ValidChannel(static_cast<int>(*index - 1))) {
        return R"("Command":"Unknown")";
    }
    const int ch = static_cast<int>(*index - 1);
    std::optional<TWhat> what;
    if (arg == "on" || arg == "1") {
        what = TWhat::On;
    } else if (arg == "off" || arg == "0") {
        what = TWhat::Off;
    } else if (arg == "toggle" || arg == "2") {
        what = TWhat::Toggle;
    } else if (!arg.empty()) {
        return R"("Command":"Error")";
    }
    if (what && at > now) {
        Schedule({at, ch, *what, false});
        return {};
    }
    if (what) {
        Switch(ch, *what, now);
    }
    const std::string key = m_options.Channels == 1 ? "POWER" : "POWER" + std::to_string(ch + 1);
    return "\"" + key + "\":\"" + (IsOn(ch) ? "ON" : "OFF") + "\"";
}

void TPlugDevice::Switch(int channel, TWhat what, TClock::time_point now) {
    const auto index = static_cast<std::size_t>(channel);
    const bool on = what == TWhat::Toggle ? !m_on[index] : what == TWhat::On;
    if (on == m_on[index]) {
        return;
    }
    m_on[index] = on;
    const std::string name = "relay " + std::to_string(channel);
    m_world.Record(name + (on ? " on" : " off"));
    if (!on) {
        CancelTimers(channel, true); // the device behind loses power mid-boot too
        m_world.RunCommand(m_options.OffCommand, channel);
        return;
    }
    Schedule({now + m_options.BootDelay, channel, TWhat::Booted, false});
    Advance(now); // a boot delay of 0: up at once
}

void TPlugDevice::Schedule(TTimed timed) {
    m_timed.push_back(timed);
}

void TPlugDevice::CancelTimers(int channel, bool bootToo) {
    std::erase_if(m_timed, [&](const TTimed& t) {
        return t.Channel == channel && (t.Timer || (bootToo && t.What == TWhat::Booted));
    });
}

void TPlugDevice::Advance(TClock::time_point now) {
    for (;;) {
        auto due = std::min_element(m_timed.begin(), m_timed.end(),
                                    [](const TTimed& a, const TTimed& b) { return a.At < b.At; });
        if (due == m_timed.end() || due->At > now) {
            return;
        }
        const TTimed timed = *due;
        m_timed.erase(due);
        if (timed.What == TWhat::Booted) {
            m_world.Record("device " + std::to_string(timed.Channel) + " up");
            m_world.RunCommand(m_options.OnCommand, timed.Channel);
        } else {
            Switch(timed.Channel, timed.What, timed.At);
        }
    }
}

std::optional<TClock::time_point> TPlugDevice::NextDue() const {
    if (m_timed.empty()) {
        return std::nullopt;
    }
    return std::min_element(m_timed.begin(), m_timed.end(),
                            [](const TTimed& a, const TTimed& b) { return a.At < b.At; })
        ->At;
}

} // namespace pingvard::plugsim

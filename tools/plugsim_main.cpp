// SPDX-License-Identifier: GPL-3.0-or-later
// pingvard-plugsim: a smart plug for tests and the lab (see --help).
#include "tools/plugsim_server.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace pingvard::plugsim;

constexpr const char* kUsage = R"(Usage: pingvard-plugsim --api shelly1|shelly2|tasmota [options]

A smart plug on HTTP(S): Shelly first generation (/relay/N?turn=&timer=),
Shelly second generation (/rpc/Switch.Set?id=&on=&toggle_after=, POST /rpc)
or Tasmota (/cm?cmnd=..., Backlog with Delay). The plug's own timers switch
the relay back; switching runs the operator's commands.

  --listen ADDR:PORT    where to listen (default 0.0.0.0:80; [::1]:8080 for IPv6)
  --user NAME           user name (default admin)
  --password TEXT       require authentication (default: none)
  --auth SCHEME         basic | digest (MD5) | digest-sha256 | query; default as the
                        firmware does: shelly1 basic, shelly2 digest-sha256,
                        tasmota query (user= and password= parameters)
  --realm TEXT          authentication realm (default: the device id)
  --device-id ID        the plug's id (default shellyplus1-a8032ab12c34)
  --channels N          relays (default 1)
  --tls-cert FILE       serve HTTPS with this certificate (PEM) ...
  --tls-key FILE        ... and this key
  --off-command CMD     run by /bin/sh when a relay turns off ($PLUGSIM_CHANNEL)
  --on-command CMD      run when the device behind a relay has booted
  --boot-delay SECONDS  from power on to the device being up (default 0)
  --record FILE         append "<monotonic ms> <event>" lines: requests with
                        their status, "relay N off|on", "device N up", commands
  --help                this text
Ends on SIGTERM or SIGINT. Exit status 0, 1 when it cannot start, 2 for bad options.
)";

std::optional<double> Number(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// Fills options; an empty result means success.
std::string Parse(const std::vector<std::string>& args, TServerOptions& options, bool& help) {
    std::string api, auth, realm;
    options.Auth.User = "admin";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help") {
            help = true;
            return {};
        }
        if (i + 1 >= args.size()) {
            return "unknown option or missing value: " + name;
        }
        const std::string& value = args[++i];
        if (name == "--listen") {
            options.Listen = value;
        } else if (name == "--api") {
            api = value;
        } else if (name == "--user") {
            options.Auth.User = value;
        } else if (name == "--password") {
            options.Auth.Password = value;
        } else if (name == "--auth") {
            auth = value;
        } else if (name == "--realm") {
            realm = value;
        } else if (name == "--device-id") {
            options.Device.DeviceId = value;
        } else if (name == "--channels") {
            const auto n = Number(value);
            if (!n || *n < 1 || *n > 16) {
                return "bad --channels: " + value;
            }
            options.Device.Channels = static_cast<int>(*n);
        } else if (name == "--tls-cert") {
            options.TlsCert = value;
        } else if (name == "--tls-key") {
            options.TlsKey = value;
        } else if (name == "--off-command") {
            options.Device.OffCommand = value;
        } else if (name == "--on-command") {
            options.Device.OnCommand = value;
        } else if (name == "--boot-delay") {
            const auto s = Number(value);
            if (!s) {
                return "bad --boot-delay: " + value;
            }
            options.Device.BootDelay = std::chrono::milliseconds(static_cast<long>(*s * 1000));
        } else if (name == "--record") {
            options.RecordFile = value;
        } else {
            return "unknown option: " + name;
        }
    }
    if (api == "shelly1") {
        options.Device.Api = TPlugApi::Shelly1;
        options.Auth.Scheme = TAuthScheme::Basic;
    } else if (api == "shelly2") {
        options.Device.Api = TPlugApi::Shelly2;
        options.Auth.Scheme = TAuthScheme::DigestSha256;
    } else if (api == "tasmota") {
        options.Device.Api = TPlugApi::Tasmota;
        options.Auth.Scheme = TAuthScheme::Query;
    } else {
        return "--api must be shelly1, shelly2 or tasmota";
    }
    if (auth == "basic") {
        options.Auth.Scheme = TAuthScheme::Basic;
    } else if (auth == "digest") {
        options.Auth.Scheme = TAuthScheme::DigestMd5;
    } else if (auth == "digest-sha256") {
        options.Auth.Scheme = TAuthScheme::DigestSha256;
    } else if (auth == "query") {
        options.Auth.Scheme = TAuthScheme::Query;
    } else if (!auth.empty()) {
        return "bad --auth: " + auth;
    }
    if (options.TlsCert.empty() != options.TlsKey.empty()) {
        return "--tls-cert and --tls-key go together";
    }
    options.Auth.Realm = realm.empty() ? options.Device.DeviceId : realm;
    return {};
}

} // namespace

int main(int argc, char** argv) {
    TServerOptions options;
    bool help = false;
    const std::string error = Parse(std::vector<std::string>(argv + 1, argv + argc), options, help);
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "pingvard-plugsim: %s\nTry 'pingvard-plugsim --help'.\n",
                     error.c_str());
        return 2;
    }
    return RunPlugServer(options);
}

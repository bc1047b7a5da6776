// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The smart plug itself: a relay per channel, the firmware's own timers that
// switch it back, and the device behind it, which comes up a boot delay after
// its power returns. Three firmware families, as their public HTTP APIs
// describe them: Shelly first generation (/relay/N), Shelly second generation
// and later (RPC, /rpc/Switch.Set) and Tasmota (/cm?cmnd=).

#include "tools/plugsim_auth.h"
#include "tools/plugsim_http.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pingvard::plugsim {

enum class TPlugApi { Shelly1, Shelly2, Tasmota };

using TClock = std::chrono::steady_clock;

// What the plug does to the world: switching power runs the operator's
// commands (the lab takes the access point's links down and up), and every
// request and switch leaves a record line.
class TPlugWorld {
public:
    virtual ~TPlugWorld() = default;
    virtual void RunCommand(const std::string& command, int channel) = 0;
    virtual void Record(const std::string& line) = 0;
};

struct TDeviceOptions {
    TPlugApi Api = TPlugApi::Shelly1;
    int Channels = 1;
    std::string DeviceId = "shellyplus1-a8032ab12c34";
    std::string OffCommand; // run when a relay turns off
    std::string OnCommand;  // run when the device behind it has booted
    std::chrono::milliseconds BootDelay{0};
};

class TPlugDevice {
public:
    TPlugDevice(TDeviceOptions options, TAuthenticator& auth, TPlugWorld& world);

    THttpResponse Handle(const THttpRequest& request, TClock::time_point now);
    // Runs the timers that are due.
    void Advance(TClock::time_point now);
    std::optional<TClock::time_point> NextDue() const;
    bool IsOn(int channel) const { return m_on.at(static_cast<std::size_t>(channel)); }

private:
    enum class TWhat { On, Off, Toggle, Booted };
    struct TTimed {
        TClock::time_point At;
        int Channel;
        TWhat What;
        bool Timer; // a firmware flip-back timer, replaced by the next command
    };

    THttpResponse Shelly1(const THttpRequest& request, TClock::time_point now);
    THttpResponse Shelly2(const std::string& method,
                          const std::map<std::string, std::string>& params, TClock::time_point now);
    THttpResponse Tasmota(const THttpRequest& request, TClock::time_point now);
    std::string TasmotaCommand(const std::string& command, TClock::time_point at,
                               TClock::time_point now);
    void Switch(int channel, TWhat what, TClock::time_point now);
    void Schedule(TTimed timed);
    void CancelTimers(int channel, bool bootToo);
    bool ValidChannel(int channel) const { return channel >= 0 && channel < m_options.Channels; }

    TDeviceOptions m_options;
    TAuthenticator& m_auth;
    TPlugWorld& m_world;
    std::vector<bool> m_on;
    std::vector<TTimed> m_timed;
};

} // namespace pingvard::plugsim

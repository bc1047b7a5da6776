// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The site as the monitor sees it, and an incident: the time it was down,
// with its likeliest cause, the hosts that failed and each recovery step.
// Plain values, carried by the monitor's events, with a small text form so
// that an open incident can be written to disk and read back after a restart.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pingvard {

// Up: every marked host answers. Degraded: some do not. Down: the restart
// rule's condition holds (the quorum of marked hosts failed MaxTimeouts
// times in a row), until the hosts that failed answer again. The values are
// the pingvard_site_state metric's.
enum class TSiteState { Up = 0, Degraded = 1, Down = 2 };

enum class TSiteCause {
    Unknown,
    Uplink,      // the access point answers, the Internet hosts do not
    AccessPoint, // the access point does not answer either
    LocalLink,   // no route to the access point, or no carrier towards it
    NameService, // addresses answer, the names of the failing hosts do not resolve
};

// "up", "degraded", "down".
std::string_view SiteStateName(TSiteState state) noexcept;
// "unknown", "uplink", "access-point", "local-link", "name-service": the
// names of the text form, hooks and history.
std::string_view CauseName(TSiteCause cause) noexcept;
std::optional<TSiteCause> CauseFromName(std::string_view name) noexcept;

struct TIncidentStep {
    std::string Action; // its [Action.NAME]
    std::string Kind;   // telnet, ssh, http, program
    int64_t StartMs = 0;
    int64_t EndMs = 0; // 0 while it runs
    bool Ok = false;
    std::string Outcome; // the status-line text
    bool operator==(const TIncidentStep&) const = default;
};

// Times are wall-clock milliseconds since 1970 (UTC).
struct TIncident {
    int64_t StartMs = 0;
    int64_t EndMs = 0; // 0 while open
    TSiteCause Cause = TSiteCause::Unknown;
    // LocalLink: the interface without carrier, or the address without a route.
    std::string Link;
    std::vector<std::string> HostsDown; // the marked hosts that failed
    std::vector<TIncidentStep> Steps;
    std::string CuredBy; // the action whose step brought the hosts back; empty: not cured

    bool Open() const { return EndMs == 0; }
    // Up to now while open; never negative, whatever the wall clock did.
    int64_t DurationMs(int64_t nowMs) const;
    bool operator==(const TIncident&) const = default;
};

// One line per field, "pingvard-incident 1" first; every value
// percent-encoded, so names and outcome texts may hold anything.
std::string IncidentText(const TIncident& incident);
// The incident of IncidentText, or none when the text is not one. Lines of
// unknown fields are skipped, so a later version may add some.
std::optional<TIncident> ParseIncident(std::string_view text);

} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// pingvard.state, beside pingvard.ini: what the program must remember when it
// is killed, crashes or is restarted by the service manager. A profile like
// pingvard.ini, one section per owner, written by the program alone, each
// section whole in one replacement of the file (temporary file, fsync,
// rename): a kill leaves the old file or the new one, never a part. Sections
// and keys it does not know are kept as they are, so later versions and
// other owners add their own.
//
//   [Start]  Confirmed=0|1       0 while the settings a first start wrote wait
//                                for the operator (the restart rule holds)
//            Fresh=HEX           FNV-1a 64 of pingvard.ini as that start left it
//   [Guard]  Saved=MS SavedBoot=MS Boot=ID   the moment of the write (below)
//            Rounds=MS,MS,...    the starts of the rounds within the window
//            HoldOffFrom=MS HoldOff=MS       the hold-off under way, its length
//            BackOff=N           rounds in a row that did not cure
//  [Incident] Open=TEXT          the incident open at the last write, in its
//                                text form (events/incident.h) on one line:
//                                its lines joined by two blanks, which no
//                                line holds; empty when none is open
//
// MS in Saved, Rounds and HoldOffFrom: wall-clock milliseconds since 1970
// (UTC). A section with times also holds the moment of its write in the boot
// clock (SavedBoot: CLOCK_BOOTTIME, which counts suspend) and the kernel's
// boot id: within one boot the time since the write comes from the boot
// clock, so setting the wall clock changes nothing; after a reboot (or when
// neither clock can be trusted) from the wall clock, where a clock that went
// back counts as no time at all: a round is then remembered longer, never
// shorter.

#include "config/guard_config.h"
#include "config/profile_store.h"
#include "events/incident.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pingvard {

// The two clocks and the boot they belong to, at one moment.
struct TClockReading {
    int64_t WallMs = 0; // CLOCK_REALTIME
    int64_t BootMs = 0; // CLOCK_BOOTTIME
    std::string BootId; // empty when it cannot be read (a service without /proc/sys)
};

TClockReading ReadClocks();
// The time from then to now by the rule above; never negative.
int64_t ElapsedMs(const TClockReading& then, const TClockReading& now);

// Whether the settings a first start wrote are confirmed.
struct TStartConfirmation {
    bool Pending = false; // written by a first start, nobody has confirmed them
    std::string Fresh;    // ConfigDigest of pingvard.ini as that start left it

    bool operator==(const TStartConfirmation&) const = default;
};

// GetProgramDir() + "pingvard.state".
std::string StateFileName();
// FNV-1a 64 of the file's bytes in hex; empty when it cannot be read.
std::string ConfigDigest(const std::string& fileName);

class TProgramStateFile {
public:
    explicit TProgramStateFile(std::string fileName) : m_store(std::move(fileName)) {}

    const std::string& FileName() const { return m_store.FileName(); }

    // Ages as of now; nothing for an absent or unreadable file or section.
    TGuardMemory Guard(const TClockReading& now) const;
    TStartConfirmation Confirmation() const;
    // The incident open when the program last wrote; none when none was.
    std::optional<TIncident> Incident() const;

    // False when the file cannot be written (it is then unchanged).
    bool SaveGuard(const TGuardMemory& memory, const TClockReading& now);
    bool SaveConfirmation(const TStartConfirmation& confirmation);
    // open: null when no incident is open.
    bool SaveIncident(const TIncident* open);

    // The one-line form of [Incident] Open, and back.
    static std::string IncidentLine(const TIncident& incident);
    static std::optional<TIncident> ParseIncidentLine(std::string_view line);

private:
    TProfileStore m_store;
};

} // namespace pingvard

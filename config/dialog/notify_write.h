// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the settings dialog writes back of the notification channels
// (config/notify/notify_settings.h reads them).

#include "config/ini_file.h"
#include "config/notify/notify_settings.h"

#include <string>
#include <utility>
#include <vector>

namespace pingvard {

// The keys of a channel that the dialog edits, as the file spells them;
// the secrets are not among them.
std::vector<std::pair<std::string, std::string>> ChannelKeys(const TNotifyChannel& channel);
// Equal when nothing the dialog edits differs (the secrets included).
bool SameDialogChannels(const std::vector<TNotifyChannel>& a, const std::vector<TNotifyChannel>& b);
// [Notify] Channels and, of each [Notify.NAME], the keys that differ from
// previous (all of a channel previous lacks). Names the list had that were
// not usable (not in previous) stay in it: the dialog never saw them. A
// removed channel's keys are taken out. A changed password or token goes to
// its PasswordFile or TokenFile (mode 0600) when the section names one, else
// into pingvard.ini, made private (0600) first. Throws EIniFileException.
void SaveDialogNotifyChannels(TCustomIniFile& ini, const std::vector<TNotifyChannel>& channels,
                              const std::vector<TNotifyChannel>& previous,
                              const std::string& programDir);

} // namespace pingvard

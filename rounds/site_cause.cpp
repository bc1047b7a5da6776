// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_cause.h"

namespace pingvard {

TSiteCause LikelyCause(const TCauseClues& clues) {
    if (clues.Link.Down()) {
        return TSiteCause::LocalLink;
    }
    if (clues.NamesFail && clues.AddressAnswers) {
        return TSiteCause::NameService;
    }
    if (clues.AccessPointAnswers) {
        return *clues.AccessPointAnswers ? TSiteCause::Uplink : TSiteCause::AccessPoint;
    }
    return TSiteCause::Unknown;
}

} // namespace pingvard

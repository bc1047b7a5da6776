// SPDX-License-Identifier: GPL-3.0-or-later
#include "rounds/site_view.h"

namespace pingvard {

int TrayImageFor(const TSiteView& view) {
    if (view.ActionRunning) {
        return kTrayResetting;
    }
    if (view.State != TSiteState::Down) {
        return kTrayNormal;
    }
    return view.FailedStep ? kTrayFailed : kTraySiteDown;
}

} // namespace pingvard

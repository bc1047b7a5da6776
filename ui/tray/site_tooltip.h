// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rounds/site_view.h"

#include <QCoreApplication>
#include <QString>

namespace pingvard {

// The state of the site in the desktop's words (Czech as designed, English
// from the translation): the tray icon's tooltip, one line per fact, and the
// status bar's second field.
class TSiteToolTip {
    Q_DECLARE_TR_FUNCTIONS(TSiteToolTip)

public:
    // "3 ze 4 hostů odpovídá", down since when and why (or the link that
    // holds restarts), the round ("Kolo 2 z 6: plug za 40 s") or the pause and
    // until when, the last outcome with its time.
    static QString ToolTip(const TSiteView& site);
    // "V pořádku", "Omezeno (3 ze 4)", "Výpadek: uplink".
    static QString StateField(const TSiteView& site);
    // "uplink", "přístupový bod", "místní spojení", "jmenná služba", "příčina neznámá".
    static QString CauseText(TSiteCause cause);

private:
    static QString Round(const TSiteView& site);
    static QString Guard(const TSiteView& site);
};

} // namespace pingvard

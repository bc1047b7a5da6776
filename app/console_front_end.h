// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/console_view.h"
#include "config/slots.h"
#include "monitor/front_end.h"

#include <array>
#include <functional>
#include <iosfwd>
#include <string>

namespace pingvard {

// The main window of the headless program. Used on the loop thread only, like
// the desktop window: the core changes a row, and Flush shows the result, so
// the changes of one report appear as one update.
class TConsoleFrontEnd : public TMonitorFrontEnd {
public:
    TConsoleFrontEnd(
        std::ostream& out, std::ostream& err, TConsoleMode mode,
        std::function<int()> columns = [] { return 0; },
        std::function<std::string()> timestamp = CurrentLineTimestamp);

    TTextLabel& HostLabel(int slot) override { return m_rows.at(slot).Host; }
    void ShowFigures(int slot, const TRowFigures& figures) override {
        m_rows.at(slot).Figures = RowTexts(figures);
    }
    void SetStatusText(const std::string& text) override { m_status = text; }
    int TrayIconIndex() const override { return m_trayIndex; }
    // Out-of-range indices select the nearest image, as the tray icon does.
    void SetTrayIconIndex(int index) override;
    // A console has no application icon.
    void CopyTrayImageToApplicationIcon() override {}
    void ReportIcmpUnavailable(const std::string& reason) override;
    void ReportProblem(const std::string& text) override { ReportLine(text); }
    // On stderr as "pingvard: debug: ...", only with Debug set.
    void ReportDetail(const std::string& text) override {
        if (Debug) {
            ReportLine("debug: " + text);
        }
    }
    bool Debug = false; // --debug
    // The site line: it changes with the state, never with a count-down.
    void ShowSite(const TSiteView& site) override;

    // A line on stderr ("pingvard: " + text), an error or a notice; the frame
    // is then drawn anew below it.
    void ReportLine(const std::string& text);
    // Shows whatever changed since the last call.
    void Flush();
    TConsoleState State() const;

private:
    struct TRow {
        TPlainLabel Host;
        TRowTexts Figures;
    };

    std::array<TRow, kSlotCount> m_rows;
    std::string m_status;
    int m_trayIndex = 0;
    std::string m_site;
    bool m_icmpReported = false;
    std::ostream& m_err;
    TConsoleWriter m_writer;
};

} // namespace pingvard

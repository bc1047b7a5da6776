// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/row_figures.h"
#include "rounds/site_view.h"

#include <string>

namespace pingvard {

// A text label of the main window: a row's host name.
class TTextLabel {
public:
    virtual ~TTextLabel() = default;
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
};

// A label that only keeps its text: the console front end draws from such
// labels, and tests read them.
class TPlainLabel final : public TTextLabel {
public:
    void SetText(const std::string& text) override { m_text = text; }
    std::string Text() const override { return m_text; }

private:
    std::string m_text;
};

// What the monitoring core drives; every call is made on the GUI thread.
class TMonitorFrontEnd {
public:
    virtual ~TMonitorFrontEnd() = default;
    virtual TTextLabel& HostLabel(int slot) = 0; // Host1..Host4
    // The figures of a row changed (or are shown for the first time, none
    // known): the front end makes the texts with RowTexts.
    virtual void ShowFigures(int slot, const TRowFigures& figures) = 0;
    virtual void SetStatusText(const std::string& text) = 0; // StatusBar1
    virtual int TrayIconIndex() const = 0;
    virtual void SetTrayIconIndex(int index) = 0; // clamps like TTrayIcon
    virtual void CopyTrayImageToApplicationIcon() = 0;
    // Neither a raw nor a datagram ICMP socket can be opened: reason is plain
    // English naming the fix. Called at most once, at start-up.
    virtual void ReportIcmpUnavailable(const std::string& reason) = 0;
    // A problem of the program's own that the operator must hear of where
    // its errors go (stderr), e.g. pingvard.log no longer taking lines; the
    // monitor says it once per change.
    virtual void ReportProblem(const std::string& text) = 0;
    // A detail of the monitor's own working for whoever debugs it (where a
    // host's echo times come from); said once per change. Ignored unless
    // asked for.
    virtual void ReportDetail(const std::string& /*text*/) {}
    // The state of the site, after each report and each step's start and
    // end: the tray's tooltip, the status bar's second field, the console's
    // site line. The tray image is set through SetTrayIconIndex.
    virtual void ShowSite(const TSiteView& /*site*/) {}
};

} // namespace pingvard

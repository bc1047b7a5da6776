// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/console_front_end.h"

#include "rounds/site_text.h"

#include <algorithm>
#include <ostream>

namespace pingvard {

TConsoleFrontEnd::TConsoleFrontEnd(std::ostream& out, std::ostream& err, TConsoleMode mode,
                                   std::function<int()> columns,
                                   std::function<std::string()> timestamp)
    : m_err(err), m_writer(out, mode, std::move(columns), std::move(timestamp)) {}

void TConsoleFrontEnd::SetTrayIconIndex(int index) {
    m_trayIndex = std::clamp(index, 0, kTrayImageCount - 1);
}

void TConsoleFrontEnd::ShowSite(const TSiteView& site) {
    m_site = SiteLine(site, LocalClockText);
}

void TConsoleFrontEnd::ReportIcmpUnavailable(const std::string& reason) {
    if (m_icmpReported)
        return;
    m_icmpReported = true;
    m_err << "pingvard: " << Printable(reason) << '\n'
          << "pingvard: still running; every echo counts as lost and no restart is made until "
             "this is fixed (looked at again about once a minute)\n";
    m_err.flush();
    m_writer.Interrupt();
}

void TConsoleFrontEnd::ReportLine(const std::string& text) {
    m_err << "pingvard: " << Printable(text) << std::endl;
    m_writer.Interrupt();
}

void TConsoleFrontEnd::Flush() {
    m_writer.Show(State());
}

TConsoleState TConsoleFrontEnd::State() const {
    TConsoleState state;
    for (size_t slot = 0; slot < m_rows.size(); ++slot) {
        const auto& row = m_rows[slot];
        state.Rows[slot] = {row.Host.Text(), row.Figures.Ping, row.Figures.Average,
                            row.Figures.Loss};
    }
    state.Status = m_status;
    state.TrayIndex = m_trayIndex;
    state.Site = m_site;
    return state;
}

} // namespace pingvard

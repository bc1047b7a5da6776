// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/slots.h"
#include "monitor/front_end.h"
#include "rounds/site_view.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace pingvard::test {

// Records every call the core makes, in order, as short texts ("status:...",
// "tray:1", "icon", "icmp:...").
class TFakeFrontEnd : public TMonitorFrontEnd {
public:
    TTextLabel& HostLabel(int slot) override { return m_hosts.at(Slot(slot)); }
    void ShowFigures(int slot, const TRowFigures& figures) override {
        const TRowTexts texts = RowTexts(figures);
        PingLabel(slot).SetText(texts.Ping);
        AverageLabel(slot).SetText(texts.Average);
        LossLabel(slot).SetText(texts.Loss);
    }
    void SetStatusText(const std::string& text) override {
        Status = text;
        Record("status:" + text);
    }
    int TrayIconIndex() const override { return Tray; }
    void SetTrayIconIndex(int index) override {
        Tray = std::clamp(index, 0, kTrayImageCount - 1);
        Record("tray:" + std::to_string(Tray));
        if (OnTray) {
            OnTray();
        }
    }
    void CopyTrayImageToApplicationIcon() override { Record("icon"); }
    void ReportIcmpUnavailable(const std::string& reason) override { Record("icmp:" + reason); }
    void ReportProblem(const std::string& text) override { Record("problem:" + text); }
    void ReportDetail(const std::string& text) override { Record("detail:" + text); }
    void ShowSite(const TSiteView& site) override { Site = site; }

    // The texts of a row as the window would show them.
    TTextLabel& PingLabel(int slot) { return m_pings.at(Slot(slot)); }
    TTextLabel& AverageLabel(int slot) { return m_averages.at(Slot(slot)); }
    TTextLabel& LossLabel(int slot) { return m_losses.at(Slot(slot)); }
    // Row texts "ping|average|loss" of a slot.
    std::string Row(int slot) {
        return PingLabel(slot).Text() + "|" + AverageLabel(slot).Text() + "|" +
               LossLabel(slot).Text();
    }
    std::size_t Count(const std::string& call) const {
        return static_cast<std::size_t>(std::count(Calls.begin(), Calls.end(), call));
    }

    std::vector<std::string> Calls;
    std::string Status;
    int Tray = 0;
    TSiteView Site;               // as last shown
    std::function<void()> OnTray; // runs inside SetTrayIconIndex

private:
    static std::size_t Slot(int slot) { return static_cast<std::size_t>(slot); }
    void Record(std::string call) { Calls.push_back(std::move(call)); }

    std::array<TPlainLabel, kSlotCount> m_hosts, m_pings, m_averages, m_losses;
};

} // namespace pingvard::test

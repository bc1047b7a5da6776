// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/address_lookup.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

TSettings Named(const std::array<std::string, kSlotCount>& names) {
    TSettings settings;
    for (std::size_t slot = 0; slot < names.size(); ++slot) {
        settings.Hosts[slot].Hostname = names[slot];
    }
    return settings;
}

TEST(AddressLookup, HandsOverEveryHostsAddressInSlotOrder) {
    std::mutex mutex;
    std::optional<TAddressLookup::TAddresses> got;
    const auto handedOver = [&] {
        std::lock_guard lock(mutex);
        return got.has_value();
    };
    TAddressLookup lookup(
        Named({"a", "b", "c", "d"}),
        [&](TAddressLookup::TAddresses addresses) {
            std::lock_guard lock(mutex);
            got = addresses;
        },
        [](const std::vector<std::string>& names, const TAbortSignal&) {
            std::vector<std::string> found;
            for (const std::string& name : names) {
                found.push_back(name == "c" ? name : "10.0.0." + name);
            }
            return found;
        });
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!handedOver() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(handedOver());
    std::lock_guard lock(mutex);
    EXPECT_EQ(*got, (TAddressLookup::TAddresses{"10.0.0.a", "10.0.0.b", "c", "10.0.0.d"}));
}

// A resolver that never answers: destroying the lookup ends it at once, and
// nothing is handed over.
TEST(AddressLookup, DestructionAbandonsALookupThatHangs) {
    std::atomic<bool> called = false;
    std::atomic<bool> waiting = false;
    auto lookup = std::make_unique<TAddressLookup>(
        Named({"a", "b", "c", "d"}), [&](TAddressLookup::TAddresses) { called = true; },
        [&](const std::vector<std::string>& names, const TAbortSignal& abort) {
            waiting = true;
            while (!abort.Raised()) {
                std::this_thread::sleep_for(1ms);
            }
            return names;
        });
    while (!waiting) {
        std::this_thread::sleep_for(1ms);
    }
    const auto start = std::chrono::steady_clock::now();
    lookup.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_FALSE(called);
}

} // namespace
} // namespace pingvard

// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/queued_sink.h"

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pingvard {
namespace {

using namespace std::chrono_literals;

TMonitorEvent Echo(int n) {
    TMonitorEvent event;
    event.Slot = n % 4;
    event.Host = "192.0.2." + std::to_string(n % 4);
    event.RoundTripUs = n;
    return event;
}

// Records what it is handed; can be held inside Consume until released.
class TRecorder final : public TEventConsumer {
public:
    void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) override {
        std::unique_lock lock(m_mutex);
        m_inside = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
        m_batches.push_back(events.size());
        for (const TMonitorEvent& e : events) {
            m_values.push_back(*e.RoundTripUs);
        }
        m_dropped += dropped;
    }
    void Tick() override { ++m_ticks; }

    void Hold() {
        std::lock_guard lock(m_mutex);
        m_hold = true;
    }
    void WaitInside() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_inside; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_hold = false;
        m_changed.notify_all();
    }
    std::vector<int64_t> Values() {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    std::vector<std::size_t> Batches() {
        std::lock_guard lock(m_mutex);
        return m_batches;
    }
    uint64_t DroppedSeen() {
        std::lock_guard lock(m_mutex);
        return m_dropped;
    }
    std::atomic<int> m_ticks{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hold = false;
    bool m_inside = false;
    std::vector<std::size_t> m_batches;
    std::vector<int64_t> m_values;
    uint64_t m_dropped = 0;
};

std::vector<int64_t> Range(int from, int to) {
    std::vector<int64_t> values;
    for (int i = from; i < to; ++i) {
        values.push_back(i);
    }
    return values;
}

TEST(QueuedSink, HandsOverEveryEventInOrderAndStopDrainsTheQueue) {
    TRecorder recorder;
    TQueuedSink sink(recorder, {.Capacity = 1000, .MaxBatch = 7});
    for (int i = 0; i < 500; ++i) {
        sink.Publish(Echo(i));
    }
    sink.Stop();
    EXPECT_EQ(recorder.Values(), Range(0, 500));
    for (std::size_t size : recorder.Batches()) {
        EXPECT_LE(size, 7u);
    }
    EXPECT_EQ(sink.Delivered(), 500u);
    sink.Publish(Echo(1)); // after Stop: counted, never handed over
    EXPECT_EQ(sink.Dropped(), 1u);
}

TEST(QueuedSink, FullQueueDropsWithACountWithoutWaitingForTheConsumer) {
    TRecorder recorder;
    recorder.Hold();
    TQueuedSink sink(recorder, {.Capacity = 10, .MaxBatch = 100});
    sink.Publish(Echo(0));
    recorder.WaitInside(); // the worker is stuck in the consumer with event 0
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 25; ++i) {
        sink.Publish(Echo(i));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(sink.Dropped(), 15u);
    recorder.Release();
    sink.Stop();
    EXPECT_EQ(recorder.Values(), Range(0, 11));
    EXPECT_EQ(recorder.DroppedSeen(), 15u); // the consumer learns of the loss
}

TEST(QueuedSink, LingerGathersEventsIntoOneBatch) {
    TRecorder recorder;
    TQueuedSink sink(recorder, {.Capacity = 100, .MaxBatch = 100, .Linger = 300ms});
    for (int i = 0; i < 5; ++i) {
        sink.Publish(Echo(i));
        std::this_thread::sleep_for(10ms);
    }
    sink.Stop();
    EXPECT_EQ(recorder.Batches(), std::vector<std::size_t>{5});
}

TEST(QueuedSink, AnUrgentEventEndsTheLinger) {
    TRecorder recorder;
    TQueuedSink sink(
        recorder,
        {.Capacity = 100, .MaxBatch = 100, .Linger = 1h, .Urgent = [](const TMonitorEvent& e) {
             return *e.RoundTripUs < 0;
         }});
    sink.Publish(Echo(1));
    sink.Publish(Echo(2));
    sink.Publish(Echo(-1));
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (sink.Delivered() < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(sink.Delivered(), 3u); // not an hour later
    sink.Publish(Echo(3));           // lingers again
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sink.Delivered(), 3u);
    sink.Stop();
    EXPECT_EQ(recorder.Batches(), (std::vector<std::size_t>{3, 1}));
}

// The history opens its file at start, not at its first batch.
TEST(QueuedSink, BeginsOnceBeforeAnyEvent) {
    struct TOpener final : TEventConsumer {
        void Begin() override { Calls.push_back("begin"); }
        void Consume(std::span<const TMonitorEvent> events, uint64_t) override {
            Calls.push_back("consume " + std::to_string(events.size()));
        }
        std::vector<std::string> Calls; // the worker's only, read after Stop
    } opener;
    TQueuedSink sink(opener, {});
    sink.Publish(Echo(1));
    sink.Stop();
    EXPECT_EQ(opener.Calls, (std::vector<std::string>{"begin", "consume 1"}));
}

TEST(QueuedSink, TicksWhileIdle) {
    TRecorder recorder;
    TQueuedSink sink(recorder, {.TickInterval = 10ms});
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (recorder.m_ticks < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    sink.Stop();
    EXPECT_GE(recorder.m_ticks, 3);
}

// Background work that runs until it is told to stop.
class TLongTick final : public TEventConsumer {
public:
    void Consume(std::span<const TMonitorEvent>, uint64_t) override {}
    void Tick() override {
        m_ticking = true;
        for (int i = 0; i < 1000 && !m_interrupted; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        m_sawInterrupt = m_interrupted.load();
    }
    void Interrupt() noexcept override { m_interrupted = true; }
    std::atomic<bool> m_ticking{false}, m_interrupted{false}, m_sawInterrupt{false};
};

TEST(QueuedSink, StopInterruptsTheConsumersBackgroundWork) {
    TLongTick consumer;
    TQueuedSink sink(consumer, {.Capacity = 8, .MaxBatch = 8, .TickInterval = 1ms});
    while (!consumer.m_ticking) {
        std::this_thread::sleep_for(1ms);
    }
    sink.Stop();
    EXPECT_TRUE(consumer.m_sawInterrupt);
}

TEST(QueuedSink, PublishersOnSeveralThreadsAndStopRaceSafely) {
    TRecorder recorder;
    TQueuedSink sink(recorder, {.Capacity = 64, .MaxBatch = 8});
    std::vector<std::thread> publishers;
    for (int t = 0; t < 3; ++t) {
        publishers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                sink.Publish(Echo(i));
            }
        });
    }
    std::this_thread::sleep_for(1ms);
    sink.Stop();
    for (std::thread& t : publishers) {
        t.join();
    }
    EXPECT_EQ(sink.Delivered() + sink.Dropped(), 6000u);
    EXPECT_EQ(recorder.Values().size(), sink.Delivered());
}

class TListSink final : public TEventSink {
public:
    explicit TListSink(std::vector<std::string>& log, std::string name)
        : m_log(log), m_name(std::move(name)) {}
    void Publish(const TMonitorEvent& e) noexcept override {
        m_log.push_back(m_name + ":" + std::to_string(*e.RoundTripUs));
    }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

TEST(EventHub, FansOutToEverySinkInOrderUntilRemoved) {
    std::vector<std::string> log;
    TListSink a(log, "a"), b(log, "b");
    TEventHub hub;
    hub.Add(a);
    hub.Add(b);
    hub.Publish(Echo(1));
    hub.Remove(a);
    hub.Publish(Echo(2));
    EXPECT_EQ(log, (std::vector<std::string>{"a:1", "b:1", "b:2"}));
}

TEST(MonitorEvent, KindNamesRoundTrip) {
    for (int k = 0; k <= static_cast<int>(TMonitorEventKind::StatusText); ++k) {
        const auto kind = static_cast<TMonitorEventKind>(k);
        EXPECT_EQ(KindFromName(KindName(kind)), kind) << KindName(kind);
    }
    EXPECT_FALSE(KindFromName("reset"));
}

} // namespace
} // namespace pingvard

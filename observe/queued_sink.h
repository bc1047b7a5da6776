// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A bounded queue with a worker thread of its own in front of one consumer, so
// that the monitor's threads never wait for a disk, a program or a scrape.

#include "events/monitor_event.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace pingvard {

class TEventConsumer {
public:
    virtual ~TEventConsumer() = default;
    // On the queue's worker, events in the order they were published. dropped
    // counts the events a full queue refused since the previous call.
    virtual void Consume(std::span<const TMonitorEvent> events, uint64_t dropped) = 0;
    // On the worker, once, before the first event: open what it writes to, so
    // that it is open from the start whether or not an event comes soon.
    virtual void Begin() {}
    // On the worker, about every TickInterval while it runs: background work.
    virtual void Tick() {}
    // From the thread that stops the queue, before it waits for the worker:
    // end background work early and wait for nothing (a stop must not wait
    // for a roll-up or a locked file). What is queued still follows in
    // Consume.
    virtual void Interrupt() noexcept {}
};

struct TQueueOptions {
    std::size_t Capacity = 1024; // events waiting; beyond it Publish drops
    std::size_t MaxBatch = 256;  // events per Consume call
    // After the first event of a batch, wait this long for more before handing
    // over (fewer, larger batches for a consumer that pays per batch).
    std::chrono::milliseconds Linger{0};
    // An event for which the linger ends at once: it and what came before it
    // are handed over without waiting for more.
    bool (*Urgent)(const TMonitorEvent&) = nullptr;
    std::chrono::milliseconds TickInterval{0}; // 0 = no Tick
};

class TQueuedSink final : public TEventSink {
public:
    // Starts the worker. The consumer must outlive this object.
    TQueuedSink(TEventConsumer& consumer, TQueueOptions options);
    ~TQueuedSink() override; // Stop()
    TQueuedSink(const TQueuedSink&) = delete;
    TQueuedSink& operator=(const TQueuedSink&) = delete;

    // Copies the event into the queue, or counts it as dropped when the queue
    // is full or stopped. Never waits for the consumer.
    void Publish(const TMonitorEvent& event) noexcept override;
    // Interrupts the consumer, hands it the events already queued, then ends
    // and joins the worker. Later events are dropped. Idempotent; not from the
    // worker itself.
    void Stop() noexcept;

    uint64_t Dropped() const noexcept;   // since construction
    uint64_t Delivered() const noexcept; // handed to the consumer

private:
    void Run();
    std::vector<TMonitorEvent> TakeBatch();

    TEventConsumer& m_consumer;
    const TQueueOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<TMonitorEvent> m_queue;
    bool m_stopping = false;
    bool m_urgent = false;          // an urgent event is queued
    uint64_t m_dropped = 0;         // total
    uint64_t m_droppedReported = 0; // already told to the consumer
    uint64_t m_delivered = 0;
    std::thread m_worker;
};

} // namespace pingvard

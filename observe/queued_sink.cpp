// SPDX-License-Identifier: GPL-3.0-or-later
#include "observe/queued_sink.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace pingvard {

namespace {

TQueueOptions Normalised(TQueueOptions options) {
    options.MaxBatch = std::max<std::size_t>(options.MaxBatch, 1);
    return options;
}

} // namespace

TQueuedSink::TQueuedSink(TEventConsumer& consumer, TQueueOptions options)
    : m_consumer(consumer), m_options(Normalised(options)) {
    m_worker = std::thread([this] { Run(); });
}

TQueuedSink::~TQueuedSink() {
    Stop();
}

void TQueuedSink::Publish(const TMonitorEvent& event) noexcept {
    std::lock_guard lock(m_mutex);
    if (m_stopping || m_queue.size() >= m_options.Capacity) {
        ++m_dropped;
        return;
    }
    try {
        m_queue.push_back(event);
    } catch (...) { // out of memory: the event is lost, monitoring goes on
        ++m_dropped;
        return;
    }
    const bool urgent = m_options.Urgent != nullptr && m_options.Urgent(event);
    if (m_queue.size() == 1 || m_queue.size() >= m_options.MaxBatch || (urgent && !m_urgent)) {
        m_wake.notify_one();
    }
    m_urgent = m_urgent || urgent;
}

void TQueuedSink::Stop() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_consumer.Interrupt();
    m_wake.notify_one();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

uint64_t TQueuedSink::Dropped() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

uint64_t TQueuedSink::Delivered() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

// Called with m_mutex held.
std::vector<TMonitorEvent> TQueuedSink::TakeBatch() {
    const auto end =
        m_queue.begin() + static_cast<std::ptrdiff_t>(std::min(m_queue.size(), m_options.MaxBatch));
    std::vector<TMonitorEvent> batch(std::make_move_iterator(m_queue.begin()),
                                     std::make_move_iterator(end));
    m_queue.erase(m_queue.begin(), end);
    return batch;
}

void TQueuedSink::Run() {
    using Clock = std::chrono::steady_clock;
    const bool ticks = m_options.TickInterval.count() > 0;
    Clock::time_point nextTick = Clock::now() + m_options.TickInterval;
    try {
        m_consumer.Begin();
    } catch (...) { // its first batch tries again
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_queue.empty() && !m_stopping) {
            if (ticks) {
                m_wake.wait_until(lock, nextTick,
                                  [this] { return !m_queue.empty() || m_stopping; });
            } else {
                m_wake.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            }
        }
        if (!m_queue.empty() && !m_stopping && !m_urgent && m_options.Linger.count() > 0 &&
            m_queue.size() < m_options.MaxBatch) {
            m_wake.wait_for(lock, m_options.Linger, [this] {
                return m_queue.size() >= m_options.MaxBatch || m_stopping || m_urgent;
            });
        }
        if (!m_queue.empty() || m_dropped != m_droppedReported) {
            const std::vector<TMonitorEvent> events = TakeBatch();
            m_urgent = m_urgent && !m_queue.empty();
            const uint64_t dropped = m_dropped - m_droppedReported;
            m_droppedReported = m_dropped;
            lock.unlock();
            try {
                m_consumer.Consume(events, dropped);
            } catch (...) { // a consumer's fault costs its batch, never the worker
            }
            lock.lock();
            m_delivered += events.size();
        }
        if (ticks && Clock::now() >= nextTick) {
            nextTick = Clock::now() + m_options.TickInterval;
            lock.unlock();
            try {
                m_consumer.Tick();
            } catch (...) {
            }
            lock.lock();
        }
        if (m_stopping && m_queue.empty()) {
            return;
        }
    }
}

} // namespace pingvard

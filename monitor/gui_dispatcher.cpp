// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/gui_dispatcher.h"

#include <chrono>
#include <exception>
#include <utility>

namespace pingvard {

// Each call has its own wake-up: a finished call wakes its sender only, not
// every worker waiting on a call of its own.
struct TLoopDispatcher::TCall {
    enum class TState { Queued, Done, Dropped };
    std::function<void()> Fn;
    TState State = TState::Queued;
    std::condition_variable Finished;
};

std::optional<std::string> TGuiDispatcher::RunCatching(const std::function<void()>& fn) noexcept {
    try {
        fn();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("An unexpected error of an unknown kind occurred.");
    }
}

void TGuiDispatcher::ReportHandOffError(const std::optional<std::string>& what) const {
    if (what && OnHandOffError) {
        OnHandOffError(*what);
    }
}

bool TGuiDispatcher::RunHere(const std::function<void()>& fn) const {
    ReportHandOffError(RunCatching(fn));
    return true;
}

TLoopDispatcher::TLoopDispatcher() : m_guiThread(std::this_thread::get_id()) {}

// A sender still waiting here would be woken by Cancel(); owners cancel (or stop
// every sender) before destroying the dispatcher.
TLoopDispatcher::~TLoopDispatcher() {
    Cancel();
}

bool TLoopDispatcher::Send(std::function<void()> fn) {
    if (IsGuiThread()) {
        return !Cancelled() && RunHere(fn);
    }
    auto call = std::make_shared<TCall>();
    call->Fn = std::move(fn);
    std::unique_lock lock(m_mutex);
    if (m_cancelled) {
        return false;
    }
    m_calls.push_back(call);
    m_queued.notify_one();
    call->Finished.wait(lock, [&] { return call->State != TCall::TState::Queued; });
    return call->State == TCall::TState::Done;
}

void TLoopDispatcher::Cancel() {
    std::deque<std::shared_ptr<TCall>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        for (const auto& call : m_calls) {
            call->State = TCall::TState::Dropped;
        }
        dropped.swap(m_calls);
    }
    for (const auto& call : dropped) {
        call->Finished.notify_all();
    }
    m_queued.notify_all();
}

bool TLoopDispatcher::Cancelled() const {
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

std::size_t TLoopDispatcher::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_calls.size();
}

bool TLoopDispatcher::WaitForWork(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return !m_calls.empty() || m_stopRequested; };
    if (timeoutMs < 0) {
        m_queued.wait(lock, ready);
    } else {
        m_queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    return std::exchange(m_stopRequested, false);
}

bool TLoopDispatcher::RunOnce(int timeoutMs) {
    WaitForWork(timeoutMs);
    return RunQueued();
}

bool TLoopDispatcher::RunQueued() {
    bool ranAny = false;
    for (;;) {
        std::shared_ptr<TCall> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                return ranAny;
            }
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        ranAny = true;
        const auto failure = RunCatching(call->Fn);
        {
            std::lock_guard lock(m_mutex);
            call->State = TCall::TState::Done;
        }
        call->Finished.notify_all();
        ReportHandOffError(failure);
    }
}

void TLoopDispatcher::Run() {
    for (;;) {
        const bool stop = WaitForWork(-1);
        RunQueued();
        if (stop) {
            return;
        }
    }
}

void TLoopDispatcher::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_queued.notify_all();
}

} // namespace pingvard

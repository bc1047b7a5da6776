// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_dispatcher.h"

#include <QMetaObject>

namespace pingvard {

struct TQtDispatcher::TCall {
    enum class TState { Queued, Running, Done, Dropped };
    explicit TCall(std::function<void()> f) : fn(std::move(f)) {}
    std::function<void()> fn;
    TState state = TState::Queued; // guarded by the dispatcher's mutex
};

TQtDispatcher::TQtDispatcher(QObject* parent)
    : QObject(parent), m_guiThread(std::this_thread::get_id()) {}

TQtDispatcher::~TQtDispatcher() {
    Cancel();
}

bool TQtDispatcher::Send(std::function<void()> fn) {
    if (std::this_thread::get_id() == m_guiThread) {
        return !Cancelled() && RunHere(fn);
    }
    auto call = std::make_shared<TCall>(std::move(fn));
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled) {
            return false;
        }
    }
    QMetaObject::invokeMethod(
        this, [this, call] { Run(call); }, Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return call->state == TCall::TState::Done ||
               (m_cancelled && call->state == TCall::TState::Queued);
    });
    if (call->state == TCall::TState::Done) {
        return true;
    }
    call->state = TCall::TState::Dropped;
    return false;
}

void TQtDispatcher::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

bool TQtDispatcher::Cancelled() const {
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void TQtDispatcher::Run(const std::shared_ptr<TCall>& call) {
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled || call->state != TCall::TState::Queued) {
            return;
        }
        call->state = TCall::TState::Running;
    }
    // Nothing may unwind through Qt's event loop. The sender goes on first:
    // the report may wait for the operator to close an error box.
    const auto failure = RunCatching(call->fn);
    {
        std::lock_guard lock(m_mutex);
        call->state = TCall::TState::Done;
    }
    m_changed.notify_all();
    ReportHandOffError(failure);
}

} // namespace pingvard

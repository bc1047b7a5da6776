// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/gui_dispatcher.h"

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace pingvard {

// The hand-off to the GUI thread over Qt's event loop: Send posts a queued
// call to this object and waits until the GUI thread has run it. Cancel
// releases every sender whose call has not started (a call already running is
// waited for, since it may use the sender's data) and turns later Sends away.
// What a call throws goes to OnHandOffError after its sender has been released.
// All state is guarded by one mutex. The object belongs to the thread that
// creates it, which must run the Qt event loop; every sending thread must have
// ended before it is destroyed.
class TQtDispatcher : public QObject, public TGuiDispatcher {
    Q_OBJECT
public:
    explicit TQtDispatcher(QObject* parent = nullptr);
    ~TQtDispatcher() override;

    bool Send(std::function<void()> fn) override;
    void Cancel() override;
    bool Cancelled() const;

private:
    struct TCall;
    void Run(const std::shared_ptr<TCall>& call);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_cancelled = false;
    const std::thread::id m_guiThread;
};

} // namespace pingvard

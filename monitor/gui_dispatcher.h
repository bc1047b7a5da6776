// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pingvard {

// The synchronous hand-off from a worker or session thread to the GUI thread.
class TGuiDispatcher {
public:
    virtual ~TGuiDispatcher() = default;
    // Runs fn on the GUI thread and returns after it ran (true). Once Cancel() has
    // been called, returns false at once without running fn (also for a Send that
    // is already waiting). Called from the GUI thread itself, runs fn directly.
    virtual bool Send(std::function<void()> fn) = 0;
    // Permanent: shutdown calls it so that no thread stays blocked in Send.
    virtual void Cancel() = 0;

    // Told, on the GUI thread, what a handed-off fn threw (whatever it threw,
    // not only a std::exception), once its sender has been released; that
    // Send returns true. The program shows it and goes on with its next event,
    // as after an error in any event handler. Unset, the error is dropped.
    // Set and called on the GUI thread only; it must not throw.
    std::function<void(const std::string& what)> OnHandOffError;

protected:
    // Runs fn; the description of what it threw, if it threw.
    static std::optional<std::string> RunCatching(const std::function<void()>& fn) noexcept;
    void ReportHandOffError(const std::optional<std::string>& what) const;
    // Send from the GUI thread itself: runs fn directly and reports its error.
    bool RunHere(const std::function<void()>& fn) const;
};

// A plain dispatcher with its own loop, for the headless program and the tests.
// The thread that constructs it is its GUI thread and must be the one that runs
// RunOnce() or Run().
class TLoopDispatcher final : public TGuiDispatcher {
public:
    TLoopDispatcher();
    ~TLoopDispatcher() override;

    bool Send(std::function<void()> fn) override;
    void Cancel() override;

    // Waits up to timeoutMs (< 0: without limit) for a hand-off or Stop() (which
    // it consumes), then runs every queued hand-off. True when it ran at least one.
    bool RunOnce(int timeoutMs);
    // Runs hand-offs until Stop() is called (from any thread, or from a hand-off).
    void Run();
    void Stop();

    bool Cancelled() const;
    std::size_t Pending() const; // hand-offs queued and not yet run
    bool IsGuiThread() const noexcept { return std::this_thread::get_id() == m_guiThread; }

private:
    struct TCall;
    bool WaitForWork(int timeoutMs); // true when a Stop() was pending
    bool RunQueued();

    const std::thread::id m_guiThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_queued; // GUI thread waits for work or Stop
    std::deque<std::shared_ptr<TCall>> m_calls;
    bool m_cancelled = false;
    bool m_stopRequested = false;
};

} // namespace pingvard

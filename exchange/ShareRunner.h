#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

class QThreadPool;

namespace exchange {

// Runs the file work of a window's thread: reads and writes of the classroom
// folder, which lives on a file server that may take seconds to answer, or
// stop answering for a while.
//
// The base class runs the work where it is called, one job after the other:
// the logic's tests and every caller without a window use it. The window
// programs give their logic a BackgroundShareRunner instead.
class ShareRunner
{
public:
    virtual ~ShareRunner() = default;

    // Runs every job and returns once all are done. Jobs must not touch the
    // caller's state: each works on what it captured and leaves its result
    // where the caller reads it after the call.
    virtual void runAll(std::vector<std::function<void()>> &jobs);

    template <typename Work>
    auto run(Work &&work) -> std::invoke_result_t<Work>
    {
        using Result = std::invoke_result_t<Work>;
        std::vector<std::function<void()>> jobs;
        if constexpr (std::is_void_v<Result>) {
            jobs.emplace_back(std::forward<Work>(work));
            runAll(jobs);
        } else {
            std::optional<Result> result;
            jobs.emplace_back([&result, &work] { result.emplace(work()); });
            runAll(jobs);
            return std::move(*result);
        }
    }

    // The runner that runs each job where it is called.
    static ShareRunner &inPlace();
};

// Runs the jobs on threads of their own, several at once, while the calling
// thread's event loop goes on: the window repaints, timers fire and sockets
// are served, but no user input (mouse, keyboard) is taken until the jobs are
// done, so that no click starts a second piece of work in the middle of the
// first. Input given meanwhile is handled afterwards, in its order.
//
// Anything a timer or a socket starts while runAll waits runs inside it: the
// callers keep their own work from starting twice (see
// lesson::LessonSession::HandlerScope, student::SeatSession).
//
// When jobs have run for kSlowMs without ending, or have found the share not
// answering (a client that has timed out fails at once, see
// shareNotAnsweringCount()), stalled(true) is emitted; stalled(false)
// follows once no call waits long and one has got through without such a
// failure.
class BackgroundShareRunner : public QObject, public ShareRunner
{
    Q_OBJECT

public:
    static constexpr int kSlowMs = 1500;
    // Jobs run at once at most: a publication writes the seats in parallel.
    static constexpr int kThreads = 8;

    explicit BackgroundShareRunner(QObject *parent = nullptr);
    ~BackgroundShareRunner() override;

    void runAll(std::vector<std::function<void()>> &jobs) override;

    // Whether the share is taken as not answering just now.
    bool isStalled() const { return m_stalled; }
    // Calls of runAll waiting now.
    int waiting() const { return m_waiting; }

signals:
    void stalled(bool notAnswering);

private:
    QThreadPool *m_pool;
    int m_waiting = 0;
    int m_slowCalls = 0;
    bool m_stalled = false;
};

} // namespace exchange

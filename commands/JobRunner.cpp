#include "commands/JobRunner.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessaro {
namespace commands {

void addProgress(std::atomic<float>& progress, float delta) {
    float current = progress.load(std::memory_order_relaxed);
    while (!progress.compare_exchange_weak(current, current + delta, std::memory_order_relaxed)) {
    }
}

bool neverAbort(float) {
    return false;
}

namespace {

// What the worker tells the polling thread: that it has ended, and how.
struct WorkerState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr error;
};

// Joins the worker on every way out of runJob. When the way out is an exception from the
// polling side the job is first asked to stop, else the join could wait for a long run
// whose result nobody will look at.
class JoinGuard {
  public:
    JoinGuard(std::thread& thread, const std::function<void()>& requestAbort)
        : thread_(thread), requestAbort_(requestAbort) {}
    JoinGuard(const JoinGuard&) = delete;
    JoinGuard& operator=(const JoinGuard&) = delete;

    ~JoinGuard() {
        if (!thread_.joinable()) return;
        if (std::uncaught_exceptions() > uncaught_ && requestAbort_) {
            try {
                requestAbort_();
            } catch (...) {
                // Joining matters more than a failed abort request; the job still ends.
            }
        }
        thread_.join();
    }

  private:
    std::thread& thread_;
    const std::function<void()>& requestAbort_;
    int uncaught_ = std::uncaught_exceptions();
};

}  // namespace

JobStatus runJob(const std::function<void()>& work, const JobHooks& hooks, const PollCallback& poll,
                 std::chrono::milliseconds interval) {
    WorkerState state;
    std::thread worker([&work, &state] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(state.mutex);
        state.error = error;
        state.done = true;
        // Notify under the lock: once the poller sees done it may return and destroy state.
        state.ended.notify_all();
    });
    JoinGuard guard(worker, hooks.requestAbort);

    JobStatus status = JobStatus::kCompleted;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(state.mutex);
            if (state.ended.wait_for(lock, interval, [&state] { return state.done; })) break;
        }
        const float percent = hooks.progress ? hooks.progress() : 0.0f;
        if (poll && poll(percent)) {
            if (hooks.requestAbort) hooks.requestAbort();
            status = JobStatus::kAborted;
            break;
        }
    }
    worker.join();
    if (state.error) std::rethrow_exception(state.error);
    return status;
}

JobStatus runJob(ControlRecord& control, const std::function<void(ControlRecord&)>& work,
                 const PollCallback& poll, std::chrono::milliseconds interval) {
    control.progress.store(0.0f);
    control.finished.store(false);
    control.error = nullptr;

    const JobHooks hooks{[&control] { return control.progress.load(); },
                         [&control] { control.abort.store(true); }};
    const JobStatus status = runJob(
        [&control, &work] {
            try {
                work(control);
            } catch (...) {
                control.error = std::current_exception();
            }
            control.finished.store(true);
        },
        hooks, poll, interval);
    if (control.error) std::rethrow_exception(control.error);
    // An abort asked for by anyone (before the start, or by the caller's own means
    // while the job ran) makes the result one to drop, like the poll's own.
    return control.abort.load() ? JobStatus::kAborted : status;
}

}  // namespace commands
}  // namespace tessaro

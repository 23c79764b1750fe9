// Runs one long operation on a worker thread while the calling thread polls it.
//
// The calling thread starts the job, then wakes every poll interval (or at once when the
// job ends), reads the job's progress and hands it to a poll callback; a callback that
// returns true asks the job to stop at its next check. Whatever happens — the job ends,
// is aborted, throws, or the poll callback or the progress reader throws — the worker is
// joined before runJob returns or throws, so no path leaves a thread unjoined. An
// exception that ended the job is rethrown in the calling thread after the join.
//
// The worker and the calling thread share only the progress value, the abort flag, the
// finished flag and the exception slot; the join orders everything else the job wrote
// before the caller reads it.
//
// The GUI's wait loop and the command-line tool's progress bar are both poll callbacks.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>

namespace tessaro {
namespace commands {

// The head of every long operation's record (algorithm parameter records embed it first).
struct ControlRecord {
    std::atomic<float> progress{0.0f};  // percent 0..100, advanced by the worker
    std::atomic<bool> abort{false};     // set by the controlling thread, tested between steps
    std::atomic<bool> finished{false};  // set by the worker as its last action
    std::exception_ptr error;           // what ended the job; read only after the join
    int threads = 0;                    // OpenMP threads for the kernels; 0 = all processors
};

static_assert(std::atomic<float>::is_always_lock_free, "progress must be lock-free");
static_assert(std::atomic<bool>::is_always_lock_free, "abort flag must be lock-free");

// Adds to a shared progress value; safe from many OpenMP threads at once (C++17 atomics
// have no floating-point fetch_add).
void addProgress(std::atomic<float>& progress, float delta);

// How a run ended when it did not throw.
enum class JobStatus {
    kCompleted,  // the job ran to its end
    kAborted,    // the poll callback asked for an abort; partial results are to be dropped
};

// Called by the polling thread with the job's progress in percent. Returns true to ask
// the job to stop. It may pump events, draw a progress bar, or throw (the job is then
// asked to stop, joined, and the callback's exception passes on).
using PollCallback = std::function<bool(float percent)>;

// A poll callback that never asks for an abort.
bool neverAbort(float percent);

// How the runner reads a job's progress and asks it to stop. Both are called only from
// the polling thread while the job runs.
struct JobHooks {
    std::function<float()> progress;     // the job's progress in percent
    std::function<void()> requestAbort;  // makes the job stop at its next check
};

inline constexpr std::chrono::milliseconds kDefaultPollInterval{20};

// Runs `work` on a new std::thread and polls it through `hooks` until it ends or `poll`
// asks for an abort (then requestAbort is called and the thread joined). Rethrows the
// exception that escaped `work`, if any — also after an abort, since a failure says more
// than the abort did. The poll callback is not called after the job has ended, so a job
// that ends before the first interval is never polled.
JobStatus runJob(const std::function<void()>& work, const JobHooks& hooks, const PollCallback& poll,
                 std::chrono::milliseconds interval = kDefaultPollInterval);

// The same for a job that reports through a control record. Before the start `progress`
// is set to 0, `finished` to false and `error` cleared; `abort` is kept, so an abort asked
// for before the start makes the job stop at its first check. The worker stores an
// escaping exception in `error` and sets `finished` as its last action; after the join
// the runner rethrows `error`. Returns kAborted whenever `abort` is set after the join,
// whoever set it.
JobStatus runJob(ControlRecord& control, const std::function<void(ControlRecord&)>& work,
                 const PollCallback& poll,
                 std::chrono::milliseconds interval = kDefaultPollInterval);

}  // namespace commands
}  // namespace tessaro

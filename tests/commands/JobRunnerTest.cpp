// The worker-thread runner: progress reaches the poll callback, an abort stops and joins
// the job, the job's exception comes back unchanged, and no way out leaves the worker
// running. The jobs hand-shake with the poll callback instead of relying on timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"
#include "commands/JobRunner.h"

namespace {

using tessaro::commands::ControlRecord;
using tessaro::commands::JobHooks;
using tessaro::commands::JobStatus;
using tessaro::commands::runJob;

constexpr std::chrono::milliseconds kFastPoll{1};

void pause() {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// A job that keeps working until it is asked to stop, and records that it has returned.
void runUntilAborted(ControlRecord& control, std::atomic<bool>& returned, float progress = 50.0f) {
    control.progress = progress;
    while (!control.abort.load())
        pause();
    returned = true;
}

TEST(JobRunner, PollSeesEveryProgressStepInOrder) {
    ControlRecord control;
    std::atomic<float> lastSeen{-1.0f};
    std::vector<float> seen;
    const JobStatus status = runJob(
        control,
        [&lastSeen](ControlRecord& c) {
            for (int step = 1; step <= 5; ++step) {
                const float value = 20.0f * static_cast<float>(step);
                c.progress = value;
                while (lastSeen.load() < value)
                    pause();  // until the poll has shown it
            }
        },
        [&](float percent) {
            seen.push_back(percent);
            lastSeen = percent;
            return false;
        },
        kFastPoll);
    EXPECT_EQ(status, JobStatus::kCompleted);
    EXPECT_TRUE(control.finished.load());
    EXPECT_FALSE(control.abort.load());
    EXPECT_FALSE(control.error);
    ASSERT_FALSE(seen.empty());
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1], seen[i]);
    for (float step : {20.0f, 40.0f, 60.0f, 80.0f, 100.0f}) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), step), seen.end()) << step;
    }
}

TEST(JobRunner, GenericHooksReadAnyProgressType) {
    // A file job reports progress as an int: the runner reads it through a callable.
    std::atomic<int> progress{0};
    std::atomic<bool> abort{false};
    std::atomic<int> lastSeen{-1};
    const JobStatus status = runJob(
        [&] {
            for (int value : {25, 50, 75, 100}) {
                progress = value;
                while (lastSeen.load() < value)
                    pause();
            }
        },
        JobHooks{[&] { return static_cast<float>(progress.load()); }, [&] { abort = true; }},
        [&](float percent) {
            lastSeen = static_cast<int>(percent);
            return false;
        },
        kFastPoll);
    EXPECT_EQ(status, JobStatus::kCompleted);
    EXPECT_EQ(lastSeen.load(), 100);
    EXPECT_FALSE(abort.load());
}

TEST(JobRunner, AbortStopsTheJobAndJoinsIt) {
    ControlRecord control;
    std::atomic<bool> returned{false};
    int polls = 0;
    const JobStatus status = runJob(
        control, [&](ControlRecord& c) { runUntilAborted(c, returned); },
        [&](float percent) {
            ++polls;
            return percent >= 50.0f;
        },
        kFastPoll);
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_TRUE(control.abort.load());
    EXPECT_TRUE(returned.load()) << "runJob returned before the worker ended";
    EXPECT_TRUE(control.finished.load());
    EXPECT_GE(polls, 1);
}

TEST(JobRunner, AbortAskedBeforeTheStartIsKept) {
    ControlRecord control;
    control.abort = true;
    bool sawAbort = false;
    const JobStatus status = runJob(
        control, [&](ControlRecord& c) { sawAbort = c.abort.load(); },
        tessaro::commands::neverAbort, kFastPoll);
    EXPECT_EQ(status, JobStatus::kAborted);
    EXPECT_TRUE(sawAbort);
}

TEST(JobRunner, RecordIsResetBeforeTheStart) {
    ControlRecord control;
    control.progress = 100.0f;
    control.finished = true;
    control.error = std::make_exception_ptr(std::runtime_error("old"));
    float progressAtStart = -1.0f;
    bool finishedAtStart = true;
    bool errorAtStart = true;
    runJob(
        control,
        [&](ControlRecord& c) {
            progressAtStart = c.progress.load();
            finishedAtStart = c.finished.load();
            errorAtStart = static_cast<bool>(c.error);
        },
        tessaro::commands::neverAbort, kFastPoll);
    EXPECT_EQ(progressAtStart, 0.0f);
    EXPECT_FALSE(finishedAtStart);
    EXPECT_FALSE(errorAtStart);
    EXPECT_TRUE(control.finished.load());
    EXPECT_FALSE(control.error);
}

TEST(JobRunner, JobExceptionIsRethrownWithItsTypeAndText) {
    const std::string text = "ALG3D::not enough data for geometry approximation.\n";
    ControlRecord control;
    try {
        runJob(
            control,
            [](ControlRecord&) { alg3D::throwAlg3dException(alg3D::errors::kNotEnoughData); },
            tessaro::commands::neverAbort, kFastPoll);
        FAIL() << "no exception";
    } catch (const alg3D::Alg3dException& e) {
        EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_TRUE(control.finished.load());
    ASSERT_TRUE(control.error);

    // The generic form too, and for exceptions that are not std::exception.
    try {
        runJob([] { throw std::runtime_error("not enough data"); }, JobHooks{},
               tessaro::commands::neverAbort, kFastPoll);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "not enough data");
    }
    EXPECT_THROW(runJob([] { throw 42; }, JobHooks{}, tessaro::commands::neverAbort, kFastPoll),
                 int);
}

TEST(JobRunner, FailureDuringAnAbortIsStillReported) {
    ControlRecord control;
    EXPECT_THROW(runJob(
                     control,
                     [](ControlRecord& c) {
                         c.progress = 10.0f;
                         while (!c.abort.load())
                             pause();
                         throw std::runtime_error("stopped badly");
                     },
                     [](float) { return true; }, kFastPoll),
                 std::runtime_error);
    EXPECT_TRUE(control.finished.load());
}

TEST(JobRunner, ThrowingPollCallbackStillAbortsAndJoins) {
    ControlRecord control;
    std::atomic<bool> returned{false};
    try {
        runJob(
            control, [&](ControlRecord& c) { runUntilAborted(c, returned); },
            [](float) -> bool { throw std::logic_error("poll failed"); }, kFastPoll);
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_EQ(std::string(e.what()), "poll failed");
    }
    EXPECT_TRUE(returned.load()) << "the worker was not joined";
    EXPECT_TRUE(control.abort.load()) << "the worker was not asked to stop";
    EXPECT_TRUE(control.finished.load());
}

TEST(JobRunner, ThrowingProgressReaderStillAbortsAndJoins) {
    std::atomic<bool> abort{false};
    std::atomic<bool> returned{false};
    EXPECT_THROW(runJob(
                     [&] {
                         while (!abort.load())
                             pause();
                         returned = true;
                     },
                     JobHooks{[]() -> float { throw std::runtime_error("no progress"); },
                              [&] { abort = true; }},
                     tessaro::commands::neverAbort, kFastPoll),
                 std::runtime_error);
    EXPECT_TRUE(returned.load());
}

TEST(JobRunner, JobEndingBeforeTheFirstIntervalIsNotPolled) {
    ControlRecord control;
    int polls = 0;
    const JobStatus status = runJob(
        control, [](ControlRecord& c) { c.progress = 100.0f; },
        [&](float) {
            ++polls;
            return true;
        },
        std::chrono::milliseconds(60000));  // the end of the job wakes the poller at once
    EXPECT_EQ(status, JobStatus::kCompleted);
    EXPECT_EQ(polls, 0);
    EXPECT_EQ(control.progress.load(), 100.0f);
}

TEST(JobRunner, ResultsWrittenByTheJobAreVisibleAfterTheRun) {
    ControlRecord control;
    std::vector<double> output;
    runJob(
        control,
        [&output](ControlRecord& c) {
            for (int i = 0; i < 100000; ++i)
                output.push_back(0.5 * i);
            c.progress = 100.0f;
        },
        tessaro::commands::neverAbort, kFastPoll);
    ASSERT_EQ(output.size(), 100000u);
    EXPECT_EQ(output.back(), 0.5 * 99999);
}

TEST(JobRunner, ProgressAddsFromManyThreadsAreNotLost) {
    std::atomic<float> progress{0.0f};
    const int steps = 10000;  // whole numbers stay exact in a float up to 2^24
#pragma omp parallel for schedule(dynamic, 16)
    for (int i = 0; i < steps; ++i)
        tessaro::commands::addProgress(progress, 1.0f);
    EXPECT_EQ(progress.load(), static_cast<float>(steps));
}

}  // namespace

namespace {

// The window processes its events only in the poll callback: the interval is the least
// gap its timers and paints see during a run, and it must leave room for a paint within
// the 100 ms a user notices.
TEST(JobRunner, DefaultIntervalLeavesRoomForAPaintWithinATenthOfASecond) {
    EXPECT_LE(tessaro::commands::kDefaultPollInterval, std::chrono::milliseconds(25));
    EXPECT_GT(tessaro::commands::kDefaultPollInterval, std::chrono::milliseconds(0));
}

}  // namespace

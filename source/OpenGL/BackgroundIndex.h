// A search index of a scene object that is built on a worker thread when first asked
// for, so that the question that asks for it is answered without it (by a scan) instead
// of waiting for the build.
//
// Index: any type with `void cancel()` that stops a running build early (the k-d tree's
// cancel flag). current() returns the finished index, or null while there is none;
// start(build) runs `build(index)` on a thread of its own unless an index exists or is
// being built (callers answer first and start afterwards, so the build does not compete
// with the answer for the processors). The data the
// build reads must not change until drop() returned: every change of the object's
// geometry calls drop() first, which cancels a running build, waits for it and forgets
// the index. A build that throws (out of memory) leaves no index and is not retried
// until the next drop(). Cost: one thread per build; current() takes a lock and, once
// the index exists, nothing else.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

template <typename Index>
class BackgroundIndex {
  public:
    BackgroundIndex() = default;
    ~BackgroundIndex() { drop(); }
    BackgroundIndex(const BackgroundIndex&) = delete;
    BackgroundIndex& operator=(const BackgroundIndex&) = delete;

    // The finished index, or null while there is none.
    const Index* current() {
        std::lock_guard<std::mutex> lock(mutex_);
        collect();
        return ready_.get();
    }

    // Starts `build` on a worker thread unless an index exists or is being built.
    void start(const std::function<void(Index&)>& build) {
        std::lock_guard<std::mutex> lock(mutex_);
        collect();
        if (ready_ || pending_.valid() || failed_) return;
        auto index = std::make_shared<Index>();
        building_ = index;
        pending_ = std::async(std::launch::async, [index, build] { build(*index); });
    }

    // Waits for a running build; the index, or null when none was asked for or it failed.
    const Index* wait() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_.valid()) pending_.wait();
        collect();
        return ready_.get();
    }

    bool isReady() {
        std::lock_guard<std::mutex> lock(mutex_);
        collect();
        return ready_ != nullptr;
    }

    // Cancels and waits for a running build, forgets the index.
    void drop() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_.valid()) {
            building_->cancel();
            pending_.wait();
            try {
                pending_.get();
            } catch (...) {
            }
        }
        building_.reset();
        ready_.reset();
        failed_ = false;
    }

  private:
    // Takes over a finished build.
    void collect() {
        if (!pending_.valid() ||
            pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        try {
            pending_.get();
            ready_ = std::move(building_);
        } catch (...) {
            failed_ = true;
        }
        building_.reset();
    }

    std::mutex mutex_;
    std::shared_ptr<Index> ready_, building_;
    std::future<void> pending_;
    bool failed_ = false;
};

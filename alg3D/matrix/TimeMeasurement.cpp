#include "alg3D/matrix/TimeMeasurement.h"

#include <chrono>
#include <cstdio>

namespace alg3D {

TimeMeasurement::TimeMeasurement(std::string name)
    : name_(std::move(name)), start_(now100ns()), report_(true) {}

TimeMeasurement::~TimeMeasurement() {
    if (report_) {
        std::printf("%s finished in %s\n", name_.c_str(), elapsedText().c_str());
        std::fflush(stdout);
    }
}

std::int64_t TimeMeasurement::now100ns() {
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint64_t TimeMeasurement::elapsedMilliseconds() const {
    const std::int64_t ticks = now100ns() - start_;
    if (ticks <= 0) return 0;
    return static_cast<std::uint64_t>((ticks + 5000) / 10000);
}

std::string TimeMeasurement::elapsedText() const { return formatMilliseconds(elapsedMilliseconds()); }

std::string TimeMeasurement::formatMilliseconds(std::uint64_t ms) {
    std::string text;
    const std::uint64_t minutes = ms / 60000;
    const std::uint64_t seconds = (ms % 60000) / 1000;
    if (minutes != 0) text += std::to_string(minutes) + "m ";
    if (seconds != 0) text += std::to_string(seconds) + "s ";
    text += std::to_string(ms % 1000) + "ms";
    return text;
}

}  // namespace alg3D

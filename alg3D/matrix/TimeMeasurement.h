// Scoped stopwatch. On destruction (when reporting is on) it prints
// "<name> finished in <elapsed>" to standard output. The elapsed text reads like
// "250ms", "3s 12ms", "2m 0ms". Time is taken from a monotonic clock, so a change
// of the system clock never yields a negative or absurd duration.
#pragma once

#include <cstdint>
#include <string>

namespace alg3D {

class TimeMeasurement {
public:
    explicit TimeMeasurement(std::string name);
    virtual ~TimeMeasurement();

    TimeMeasurement(const TimeMeasurement&) = delete;
    TimeMeasurement& operator=(const TimeMeasurement&) = delete;

    // Whole milliseconds since construction, rounded.
    std::uint64_t elapsedMilliseconds() const;
    // The elapsed time as text ("1m 3s 12ms").
    std::string elapsedText() const;
    // Switches the report line on destruction on or off.
    void setReport(bool report) { report_ = report; }

    // The text of a given number of milliseconds.
    static std::string formatMilliseconds(std::uint64_t ms);

private:
    static std::int64_t now100ns();

    std::string name_;
    std::int64_t start_;  // ticks of 100 ns of the monotonic clock
    bool report_;
};

}  // namespace alg3D

#include "commands/PointCloudCommands.h"

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "alg3D/algorithm/Normals.h"
#include "alg3D/algorithm/Regions.h"
#include "alg3D/algorithm/Smoothing.h"
#include "alg3D/algorithm/Thinning.h"
#include "alg3D/matrix/TimeMeasurement.h"

namespace tessaro {
namespace commands {

namespace alg = alg3D::algorithm;
using alg3D::GLPoint;
using alg3D::Vec3d;
using alg3D::Vec3f;

namespace {

void requirePoints(const LoadedData& data, const char* message) {
    if (data.kind != DataKind::kPoints && data.kind != DataKind::kColoredPoints)
        throw std::runtime_error(message);
}

void requireRadius(double radius) {
    if (!std::isfinite(radius) || radius < 0.0)
        throw std::invalid_argument("The radius must be a finite number of at least 0.");
}

// The point-number fields reject 0; k = 1 or 2 are left to the algorithms, which give
// (0, 0, 0) normals and zero features for them.
void requirePointNumber(std::uint64_t k) {
    if (k == 0) throw std::invalid_argument("The point number must be at least 1.");
}

alg::ProcessControl controlOf(ControlRecord& c) {
    alg::ProcessControl pc;
    pc.abort = &c.abort;
    pc.progress = &c.progress;
    pc.threads = c.threads;
    return pc;
}

// Calls fn with the data's point vector (plain or coloured).
template <typename Fn>
decltype(auto) withPoints(const LoadedData& data, Fn&& fn) {
    if (data.kind == DataKind::kColoredPoints) return fn(data.coloredPoints);
    return fn(data.points);
}

// Runs `work` (given the kernel's control) on a worker thread and times it.
template <typename Work>
JobStatus runTimed(const char* name, int threads, Work&& work, ProcessingRun& run,
                   const PollCallback& poll, std::chrono::milliseconds interval) {
    alg3D::TimeMeasurement watch(name);
    watch.setReport(false);
    const auto start = std::chrono::steady_clock::now();
    ControlRecord control;
    control.threads = threads;
    const JobStatus status = runJob(
        control, [&work](ControlRecord& c) { work(controlOf(c)); }, poll, interval);
    run.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.duration = watch.elapsedText();
    run.console = std::string(name) + " finished in " + run.duration + "\n";
    return status;
}

}  // namespace

JobStatus runNormalsCommand(const LoadedData& data, const NormalsOptions& options,
                            NormalsResult& result, const PollCallback& poll,
                            std::chrono::milliseconds interval) {
    requirePoints(data, kNormalsPointcloudsOnly);
    if (options.mode == alg::kNormalsRadius) requireRadius(options.radius);
    if (options.mode == alg::kNormalsPointNumber) requirePointNumber(options.k);
    std::vector<Vec3f> normals;
    ProcessingRun run;
    const JobStatus status = runTimed(
        "calcNormals", options.threads,
        [&](const alg::ProcessControl& control) {
            // Sized on the worker: filling the output of a big cloud would hold up the
            // calling thread (the window) before its first poll.
            normals.assign(data.pointCount(), Vec3f(0.0f, 0.0f, 0.0f));
            withPoints(data, [&](const auto& points) {
                using P = typename std::decay_t<decltype(points)>::value_type;
                alg::ParamNormals<P> param;
                param.control = control;
                param.begin = points.data();
                param.end = points.data() + points.size();
                param.out = normals.data();
                param.radius = options.radius;
                param.pointNumber = options.k;
                param.mode = options.mode;
                alg::calcNormals(param);
            });
        },
        run, poll, interval);
    if (status == JobStatus::kAborted) return status;
    result.normals = std::move(normals);
    result.run = run;
    result.panelText = "Duration: " + run.duration;
    return status;
}

JobStatus runFeaturesCommand(const LoadedData& data, const FeaturesOptions& options,
                             FeaturesResult& result, const PollCallback& poll,
                             std::chrono::milliseconds interval) {
    requirePoints(data, kFeaturesPointcloudsOnly);
    if (options.kernel == alg::kKernelRadius) requireRadius(options.radius);
    if (options.kernel == alg::kKernelPointNumber) requirePointNumber(options.k);
    std::vector<double> values;
    alg::FeatureEvaluation evaluation;
    ProcessingRun run;
    const JobStatus status = runTimed(
        "calcEdges", options.threads,
        [&](const alg::ProcessControl& control) {
            values.assign(data.pointCount(), -1.0);  // on the worker, as for the normals
            withPoints(data, [&](const auto& points) {
                using P = typename std::decay_t<decltype(points)>::value_type;
                alg::ParamEdges<P> param;
                param.control = control;
                param.begin = points.data();
                param.end = points.data() + points.size();
                param.out = values.data();
                param.feature = options.feature;
                param.radius = options.radius;
                param.pointNumber = options.k;
                param.kernelMode = options.kernel;
                alg::calcEdges(param);
            });
            // The colour coding passes over every point too: still on the worker.
            if (!control.aborted()) evaluation = alg::evaluateFeatures(values);
        },
        run, poll, interval);
    if (status == JobStatus::kAborted) return status;
    result.evaluation = std::move(evaluation);
    result.values = std::move(values);
    result.lowText = alg::formatFeatureNumber(result.evaluation.low);
    result.highText = alg::formatFeatureNumber(result.evaluation.high);
    result.run = run;
    result.panelText = alg::featureStatisticsText(result.evaluation, run.duration);
    return status;
}

JobStatus runSmoothingCommand(const LoadedData& data, const SmoothingOptions& options,
                              SmoothingResult& result, const PollCallback& poll,
                              std::chrono::milliseconds interval) {
    requirePoints(data, kObjectCanNotBeSmoothed);
    requireRadius(options.radius);
    std::vector<Vec3d> smoothed;
    ProcessingRun run;
    const JobStatus status = runTimed(
        "calcSmoothing", options.threads,
        [&](const alg::ProcessControl& control) {
            smoothed.resize(data.pointCount());  // on the worker, as for the normals
            withPoints(data, [&](const auto& points) {
                using P = typename std::decay_t<decltype(points)>::value_type;
                alg::ParamSmoothing<P> param;
                param.control = control;
                param.begin = points.data();
                param.end = points.data() + points.size();
                param.out = smoothed.data();
                param.radius = options.radius;
                param.function = options.function;
                alg::calcSmoothing(param);
            });
        },
        run, poll, interval);
    if (status == JobStatus::kAborted) return status;
    result.points = std::move(smoothed);
    result.run = run;
    result.panelText = "Duration: " + run.duration;
    return status;
}

std::vector<double> smoothingDisplacements(const LoadedData& data, const SmoothingResult& result) {
    std::vector<double> moved;
    if (result.points.size() != data.pointCount()) return moved;
    moved.resize(result.points.size());
    withPoints(data, [&](const auto& points) {
        for (std::size_t i = 0; i < points.size(); ++i)
            moved[i] = (result.points[i] - alg3D::coords(points[i])).norm();
    });
    return moved;
}

void applySmoothing(LoadedData& data, const SmoothingResult& result) {
    if (data.kind == DataKind::kColoredPoints) {
        if (result.points.size() != data.coloredPoints.size()) return;
        for (std::size_t i = 0; i < result.points.size(); ++i) {
            data.coloredPoints[i].x = result.points[i].x;
            data.coloredPoints[i].y = result.points[i].y;
            data.coloredPoints[i].z = result.points[i].z;
        }
    } else if (result.points.size() == data.points.size()) {
        data.points = result.points;
    }
}

JobStatus runThinningCommand(LoadedData& data, std::vector<Vec3f>* normals,
                             const ThinningOptions& options, ThinningResult& result,
                             const PollCallback& poll, std::chrono::milliseconds interval) {
    requirePoints(data, kDataTypeCanNotBeThinned);
    if (options.byCount)
        requirePointNumber(options.count);
    else
        requireRadius(options.radius);
    const std::size_t input = data.pointCount();
    std::string text = "Input points: " + std::to_string(input) + "\n";
    // The run only decides; the cloud changes after a completed run, on this thread.
    std::vector<std::uint8_t> remove;
    bool completed = false;
    ProcessingRun run;
    const JobStatus status = runTimed(
        "calcThinning", options.threads,
        [&](const alg::ProcessControl& control) {
            withPoints(data, [&](const auto& points) {
                using P = typename std::decay_t<decltype(points)>::value_type;
                const P* begin = points.data();
                const P* end = begin + points.size();
                completed =
                    options.byCount
                        ? alg::thinningToCount<P>(control, begin, end, options.count, remove)
                        : alg::thinningToSpacing<P>(control, begin, end, options.radius, remove);
            });
        },
        run, poll, interval);
    result.inputPoints = input;
    if (status == JobStatus::kAborted || !completed) {
        result.panelText = text;
        return JobStatus::kAborted;
    }
    const std::size_t output = data.kind == DataKind::kColoredPoints
                                   ? alg::compactThinned(data.coloredPoints, normals, remove)
                                   : alg::compactThinned(data.points, normals, remove);
    result.outputPoints = output;
    result.kept.resize(remove.size());
    for (std::size_t i = 0; i < remove.size(); ++i)
        result.kept[i] = remove[i] ? 0 : 1;
    result.run = run;
    result.panelText =
        text + "Output points: " + std::to_string(output) + "\nDuration: " + run.duration;
    return status;
}

JobStatus runRegionsCommand(const LoadedData& data, const RegionsOptions& options,
                            RegionsResult& result, const PollCallback& poll,
                            std::chrono::milliseconds interval) {
    requirePoints(data, kObjectCanNotBeProcessed);
    requireRadius(options.radius);
    std::vector<std::uint64_t> labels;
    std::uint64_t regions = 0;
    bool completed = false;
    std::vector<alg3D::Color> colors;
    std::vector<std::uint8_t> selected;
    std::uint64_t selectedCount = 0;
    ProcessingRun run;
    const JobStatus status = runTimed(
        "calcRegions", options.threads,
        [&](const alg::ProcessControl& control) {
            labels.assign(data.pointCount(), 0);  // on the worker, as for the normals
            withPoints(data, [&](const auto& points) {
                using P = typename std::decay_t<decltype(points)>::value_type;
                completed =
                    alg::detectRegions<P>(control, points.data(), points.data() + points.size(),
                                          options.radius, labels.data(), regions);
            });
            if (!completed) return;
            // Colours and the selection of small regions pass over every point: still on
            // the worker, so that the calling thread goes on polling.
            colors = alg::regionColors(labels, regions);
            if (options.select) {
                selected = alg::selectSmallRegions(labels, regions, options.maxPoints);
                for (std::uint8_t s : selected)
                    selectedCount += s;
            }
        },
        run, poll, interval);
    if (status == JobStatus::kAborted || !completed) return JobStatus::kAborted;
    result.colors = std::move(colors);
    result.selected = std::move(selected);
    result.selectedCount = selectedCount;
    result.labels = std::move(labels);
    result.regionCount = regions;
    result.run = run;
    result.panelText = "Duration: " + run.duration + "\nRegions: " + std::to_string(regions);
    return status;
}

std::vector<GLPoint> coloredCopy(const LoadedData& data, const std::vector<alg3D::Color>& colors) {
    std::vector<GLPoint> out;
    out.reserve(data.pointCount());
    withPoints(data, [&](const auto& points) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            GLPoint p(points[i].x, points[i].y, points[i].z);
            if (i < colors.size()) p.setColor(colors[i]);
            out.push_back(p);
        }
    });
    return out;
}

}  // namespace commands
}  // namespace tessaro

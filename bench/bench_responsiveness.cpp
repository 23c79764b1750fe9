// Responsiveness of the workbench window while its commands run on 10,000,000 points.
//
// The real MainWindow (scratch settings file) gets a noisy bumpy surface of 10,000,000
// points (4000 x 2500 grid, spacing 0.025 mm, generated in memory) and, for distances and
// registration, a coarser 1,000,000-point scan of the same surface as the reference. Each
// command runs through its window slot with the panel set as a user would set it.
//
// Two rows per command:
//  - "run": the command runs to its end. A 10 ms timer on the GUI thread records when
//    events are processed; a 50 ms timer asks the view to repaint, as a turning user
//    does, and an event filter on the view counts paints. Counters: max_gap_run_ms (the
//    largest gap between ticks from the progress dialog's creation to the last poll),
//    max_gap_cmd_ms (the largest gap from the click to the slot's return, with the work
//    the window does itself before and after the run), before_ms (click to the progress
//    dialog: reading the cloud into the command's input), max_gap_run_nopaint_ms (the run's
//    largest gap less the time the view spent painting in it: the runner's own share;
//    gap_at_ms says when in the run that gap began),
//    after_ms (last poll to return:
//    the end of the run, the join and putting the results into the scene), paints_per_s
//    and max_paint_ms (one paint of the view, which software OpenGL makes slow).
//  - "abort": "Abort" is pressed at the first poll 1 s after the dialog was created.
//    abort_ms is the time from the cancel to the slot's return (the worker and its
//    OpenMP teams are joined by then); unchanged is 1 when the scene kept its objects,
//    point counts, first and last points, normals, colour codings and transforms.
//
// The wall time of a row is the slot's time from click to return. Needs a display: without
// one the program starts itself again under xvfb-run with Mesa's software renderer.
// Run: build/bench/bench_responsiveness [--benchmark_filter=Smoothing]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QOpenGLWidget>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "MainWindow.h"
#include "ObjectManager.h"
#include "OpenGL/GLObjPntsXYZ.h"
#include "OpenGL/glView/GLView.h"
#include "UiHooks.h"
#include "XvfbRestart.h"
#include "panels/WidgetAlgorithms.h"
#include "panels/WidgetFitGeometry.h"
#include "panels/WidgetSurfaceFeatures.h"

using alg3D::Vec3d;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kColumns = 4000;
constexpr int kRows = 2500;  // 10,000,000 points
constexpr double kSpacing = 0.025;
constexpr double kAbortAfterSeconds = 1.0;

double surface(double x, double y) {
    return 1.5 * std::sin(x / 6.0) * std::cos(y / 9.0) + 0.2 * std::sin(x * 0.9 + y * 0.7);
}

// The grid with jitter in x and y and noise in z.
std::vector<Vec3d> bumpySurface(int columns, int rows, double spacing, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-0.2 * spacing, 0.2 * spacing);
    std::normal_distribution<double> noise(0.0, 0.005);
    std::vector<Vec3d> points;
    points.reserve(static_cast<std::size_t>(columns) * rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const double x = c * spacing + jitter(random);
            const double y = r * spacing + jitter(random);
            points.emplace_back(x, y, surface(x, y) + noise(random));
        }
    }
    return points;
}

const std::vector<Vec3d>& bigCloud() {
    static const std::vector<Vec3d> points = bumpySurface(kColumns, kRows, kSpacing, 1);
    return points;
}

// The same surface as a coarser scan (1265 x 791 points, about 1,000,000), shifted by
// (0.4, -0.3, 0.15) mm, so that the registration has something to do.
const std::vector<Vec3d>& referenceCloud() {
    static const std::vector<Vec3d> points = [] {
        std::vector<Vec3d> p = bumpySurface(1265, 791, kSpacing * kColumns / 1265.0, 2);
        for (Vec3d& q : p)
            q = Vec3d(q.x + 0.4, q.y - 0.3, q.z + 0.15);
        return p;
    }();
    return points;
}

MainWindow* window = nullptr;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the GUI thread's timer ticks and the view's paints while a command runs.
class Probe : public QObject {
  public:
    explicit Probe(QOpenGLWidget* view) : view_(view) {
        ticker_.setInterval(10);
        ticker_.setTimerType(Qt::PreciseTimer);
        connect(&ticker_, &QTimer::timeout, this, [this] { ticks.push_back(Clock::now()); });
        repainter_.setInterval(50);
        connect(&repainter_, &QTimer::timeout, view_, [this] { view_->update(); });
        connect(view_, &QOpenGLWidget::frameSwapped, this, [this] {
            if (paintStart_ == Clock::time_point()) return;
            const Clock::time_point end = Clock::now();
            maxPaint = std::max(maxPaint, ms(end - paintStart_));
            paintTimes.emplace_back(paintStart_, end);
            paintStart_ = Clock::time_point();
        });
        view_->installEventFilter(this);
    }
    ~Probe() override { view_->removeEventFilter(this); }

    void start() {
        ticks.clear();
        paintTimes.clear();
        paints = 0;
        maxPaint = 0.0;
        ticker_.start();
        repainter_.start();
    }
    void stop() {
        ticker_.stop();
        repainter_.stop();
    }

    // The largest gap between consecutive instants of [from, ticks in (from, to), to];
    // without the time spent painting the view within a gap when `withoutPaints`.
    // `at` receives when the gap began (ms after `from`).
    double maxGap(Clock::time_point from, Clock::time_point to, bool withoutPaints = false,
                  double* at = nullptr) const {
        double gap = 0.0;
        Clock::time_point last = from;
        auto measure = [&](Clock::time_point t) {
            double g = ms(t - last);
            if (withoutPaints)
                for (const auto& [start, end] : paintTimes)
                    g -= std::max(0.0, ms(std::min(end, t) - std::max(start, last)));
            if (g > gap && at) *at = ms(last - from);
            gap = std::max(gap, g);
            last = t;
        };
        for (const Clock::time_point& t : ticks)
            if (t > from && t < to) measure(t);
        measure(to);
        return gap;
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == view_ && event->type() == QEvent::Paint) {
            ++paints;
            paintStart_ = Clock::now();
        }
        return false;
    }

    std::vector<Clock::time_point> ticks;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> paintTimes;
    int paints = 0;
    double maxPaint = 0.0;

  private:
    QOpenGLWidget* view_;
    QTimer ticker_;
    QTimer repainter_;
    Clock::time_point paintStart_;
};

// What an aborted command must leave as it was.
struct SceneState {
    struct Object {
        std::size_t points = 0;
        Vec3d first, last;
        std::size_t normals = 0;
        std::size_t coded = 0;
        std::vector<double> transform;
    };
    std::vector<Object> objects;

    static SceneState of(GLView& view) {
        SceneState state;
        for (const auto& object : view.scene().objects()) {
            Object o;
            if (const auto* cloud = dynamic_cast<const GLObjPnts*>(object.get())) {
                const std::vector<Vec3d>& p = cloud->getPoints();
                o.points = p.size();
                if (!p.empty()) {
                    o.first = p.front();
                    o.last = p.back();
                }
                o.normals = cloud->getNormals().size();
                o.coded = cloud->getCodedColors().size();
            }
            const alg3D::Matrix4x4d m = object->getPendingTransform();
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    o.transform.push_back(m(r, c));
            state.objects.push_back(o);
        }
        return state;
    }
    bool operator==(const SceneState& other) const {
        if (objects.size() != other.objects.size()) return false;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const Object& a = objects[i];
            const Object& b = other.objects[i];
            if (a.points != b.points || a.normals != b.normals || a.coded != b.coded ||
                a.transform != b.transform)
                return false;
            for (int k = 0; k < 3; ++k)
                if (a.first[k] != b.first[k] || a.last[k] != b.last[k]) return false;
        }
        return true;
    }
};

// A fresh scene: the reference scan (when asked for) and the big cloud, both selected
// in that order (the first selected object is a command's reference).
void freshScene(bool withReference) {
    window->objectManager()->clear();
    std::vector<GLBaseObject*> added;
    if (withReference) {
        auto reference = std::make_unique<GLObjPnts>();
        reference->setName("reference");
        reference->setPoints(std::vector<Vec3d>(referenceCloud()));
        added.push_back(window->objectManager()->addObject(std::move(reference)));
    }
    auto cloud = std::make_unique<GLObjPnts>();
    cloud->setName("surface");
    cloud->setPoints(std::vector<Vec3d>(bigCloud()));
    added.push_back(window->objectManager()->addObject(std::move(cloud)));
    QTreeWidget* tree = window->objectManager()->itemOf(added.front())->treeWidget();
    tree->clearSelection();
    for (GLBaseObject* object : added)
        window->objectManager()->itemOf(object)->setSelected(true);
    QApplication::processEvents();
}

template <typename W>
W* child(QWidget* parent, const char* name) {
    W* widget = parent->findChild<W*>(name);
    if (!widget) std::fprintf(stderr, "no control %s\n", name);
    return widget;
}

// Checks the panel's check button unless it is checked already.
void choose(QWidget* panel, const char* button) {
    QToolButton* b = child<QToolButton>(panel, button);
    if (b && !b->isChecked()) b->click();
}

struct Command {
    const char* name;
    bool withReference;
    std::function<void()> prepare;  // sets the panel
    std::function<void()> run;      // the window's slot
};

std::vector<Command> commands() {
    auto preprocess = [](const char* button, const char* radius) {
        return [button, radius] {
            QWidget* panel = window->preprocessPanel();
            choose(panel, button);
            child<QLineEdit>(panel, "lineEditRadius")->setText(radius);
        };
    };
    auto features = [](const char* button, const char* function) {
        return [button, function] {
            QWidget* panel = window->featuresPanel();
            choose(panel, button);
            if (function) {
                child<QRadioButton>(panel, "radioButtonPoints")->setChecked(true);
                child<QLineEdit>(panel, "lineEditPoints")->setText("20");
                child<QRadioButton>(panel, function)->setChecked(true);
            }
        };
    };
    auto fit = [](int code) { return [code] { window->fitPanel()->setFunction(code); }; };
    return {
        {"Smoothing", false, preprocess("toolButtonSmoothing", "0.06"),
         [] { window->onActionCalcSmoothing(); }},
        {"Thinning", false, preprocess("toolButtonThinning", "0.06"),
         [] { window->onActionCalcSmoothing(); }},
        {"Regions", false, preprocess("toolButtonSegmentation", "0.06"),
         [] { window->onActionCalcSmoothing(); }},
        {"Normals", false, features("toolButtonNormals", nullptr),
         [] { window->onActionCalcEdges(); }},
        {"Curvature", false, features("toolButtonCurvature", "radioButtonExtrinsicCurvature"),
         [] { window->onActionCalcEdges(); }},
        {"LocalEdges", false, features("toolButtonCurvature", "radioButtonEdges"),
         [] { window->onActionCalcEdges(); }},
        {"FitPlane", false, fit(1), [] { window->onActionCalcFit(); }},
        {"FitCylinder", false, fit(2), [] { window->onActionCalcFit(); }},
        {"DistancesToCloud", true, [] {}, [] { window->onActionCalcDist(); }},
        {"Registration", true, [] {}, [] { window->onActionCalcICP(); }},
    };
}

void runCommand(benchmark::State& state, const Command& command, bool abort) {
    freshScene(command.withReference);
    command.prepare();
    QApplication::processEvents();
    const SceneState before = SceneState::of(*window->view());

    Probe probe(window->view());
    Clock::time_point created, lastPoll, cancelled;
    ui::hooks().progressCreated = [&](QProgressDialog*) { created = Clock::now(); };
    ui::hooks().progressPolled = [&](QProgressDialog* dialog) {
        lastPoll = Clock::now();
        if (abort && cancelled == Clock::time_point() &&
            lastPoll - created >= std::chrono::duration<double>(kAbortAfterSeconds)) {
            cancelled = Clock::now();
            dialog->cancel();
        }
    };
    ui::hooks().message = [](QMessageBox::Icon, const QString& title, const QString& text) {
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(title), qPrintable(text));
    };

    for (auto _ : state) {
        probe.start();
        const Clock::time_point click = Clock::now();
        command.run();
        const Clock::time_point done = Clock::now();
        probe.stop();
        state.SetIterationTime(std::chrono::duration<double>(done - click).count());

        if (created == Clock::time_point()) {
            state.SkipWithError("the command did not run");
            break;
        }
        if (lastPoll == Clock::time_point()) lastPoll = created;
        state.counters["max_gap_cmd_ms"] = probe.maxGap(click, done);
        state.counters["max_gap_run_ms"] = probe.maxGap(created, lastPoll);
        double at = 0.0;
        state.counters["max_gap_run_nopaint_ms"] = probe.maxGap(created, lastPoll, true, &at);
        state.counters["gap_at_ms"] = at;
        state.counters["before_ms"] = ms(created - click);
        state.counters["after_ms"] = ms(done - lastPoll);
        const double runSeconds = std::chrono::duration<double>(lastPoll - created).count();
        state.counters["paints_per_s"] = runSeconds > 0 ? probe.paints / runSeconds : 0.0;
        state.counters["max_paint_ms"] = probe.maxPaint;
        if (abort) {
            if (cancelled == Clock::time_point()) {
                state.SetLabel("ended before the abort");
            } else {
                state.counters["abort_ms"] = ms(done - cancelled);
                const bool unchanged = SceneState::of(*window->view()) == before;
                state.counters["unchanged"] = unchanged ? 1 : 0;
                if (!unchanged) state.SetLabel("THE SCENE CHANGED");
            }
        }
    }
    ui::hooks() = ui::Hooks();
}

}  // namespace

int main(int argc, char** argv) {
    guitest::restartUnderXvfbWithoutDisplay(std::vector<std::string>(argv, argv + argc));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    QTemporaryDir dir;
    auto owner = std::make_unique<MainWindow>(nullptr, dir.filePath("settings.ini"));
    window = owner.get();
    window->show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();

    static const std::vector<Command> all = commands();
    for (const Command& command : all) {
        for (const bool abort : {true, false}) {
            const std::string name = std::string(command.name) + (abort ? "/abort" : "/run");
            benchmark::RegisterBenchmark(
                name.c_str(),
                [&command, abort](benchmark::State& state) { runCommand(state, command, abort); })
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    window->objectManager()->clear();
    owner.reset();
    return 0;
}

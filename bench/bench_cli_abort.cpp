// How fast `tessaro-cli` stops on Ctrl-C: the time from SIGINT to the exit of the
// process, for the long commands on a 5,000,000-point file.
//
// Each run starts tessaro-cli as a real process with its stderr on a pseudo terminal, so
// that it draws its progress bar; the bar's label tells when the file is read and the
// command itself runs (the hull, which has no bar, starts when the reading bar is
// cleared). The argument (ms) after that the benchmark sends SIGINT and waits for the exit;
// the iteration time is that wait. A run that ended before the signal, or not with
// 128 + SIGINT, is reported as an error.
//
// Data (generated once into a temporary folder): a cylinder surface of radius 20 and
// length 100 with small bumps and noise (5,000,000 points, spacing about 0.05), a torus
// (r1 30, r2 8) of as many points for the torus fit, a 1,000,000-point scan of the same
// cylinder as the registration reference, and an 80,000-triangle STL of the cylinder for
// the distances to a mesh.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.141592653589793;
constexpr std::size_t kPoints = 5000000;

// The data folder, removed at exit.
fs::path g_dir;

struct Data {
    std::string cylinder, torus, reference, mesh, hullOut, smoothOut;
};

void writeXyz(const std::string& name, std::size_t n,
              const std::function<void(std::size_t, double&, double&, double&)>& point) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + name);
    std::vector<char> buffer(1 << 20);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    for (std::size_t i = 0; i < n; ++i) {
        double x, y, z;
        point(i, x, y, z);
        std::fprintf(f, "%.6f %.6f %.6f\n", x, y, z);
    }
    std::fclose(f);
}

// Points of the bumpy cylinder on a regular grid of angle x height.
void cylinderPoint(std::size_t i, std::size_t n, double shift, std::mt19937_64& rng, double& x,
                   double& y, double& z) {
    const std::size_t around = 2500;
    const std::size_t along = (n + around - 1) / around;
    const double t = 2.0 * kPi * double(i % around) / double(around);
    const double h = 100.0 * double(i / around) / double(along);
    std::normal_distribution<double> noise(0.0, 0.002);
    const double r = 20.0 + 0.05 * std::sin(5.0 * t) * std::cos(0.3 * h) + noise(rng);
    x = r * std::cos(t) + shift;
    y = r * std::sin(t) - 0.5 * shift;
    z = h + 0.7 * shift;
}

void writeCylinderStl(const std::string& name) {
    const int around = 400, along = 100;
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + name);
    char header[80] = {};
    std::fwrite(header, 1, sizeof header, f);
    const std::uint32_t count = 2u * around * along;
    std::fwrite(&count, sizeof count, 1, f);
    const auto corner = [&](int i, int j, float* out) {
        const double t = 2.0 * kPi * double(i % around) / double(around);
        out[0] = static_cast<float>(20.0 * std::cos(t));
        out[1] = static_cast<float>(20.0 * std::sin(t));
        out[2] = static_cast<float>(100.0 * double(j) / double(along));
    };
    for (int i = 0; i < around; ++i)
        for (int j = 0; j < along; ++j) {
            float c[4][3];
            corner(i, j, c[0]);
            corner(i + 1, j, c[1]);
            corner(i + 1, j + 1, c[2]);
            corner(i, j + 1, c[3]);
            const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (const auto& tri : tris) {
                const float normal[3] = {0.0f, 0.0f, 0.0f};
                std::fwrite(normal, sizeof(float), 3, f);
                for (int k : tri)
                    std::fwrite(c[k], sizeof(float), 3, f);
                const std::uint16_t attribute = 0;
                std::fwrite(&attribute, sizeof attribute, 1, f);
            }
        }
    std::fclose(f);
}

const Data& data() {
    static const Data d = [] {
        Data out;
        char pattern[] = "/tmp/bench_cli_abort-XXXXXX";
        if (!::mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
        g_dir = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(g_dir, ignored);
        });
        out.cylinder = (g_dir / "cylinder.xyz").string();
        out.torus = (g_dir / "torus.xyz").string();
        out.reference = (g_dir / "reference.xyz").string();
        out.mesh = (g_dir / "cylinder.stl").string();
        out.hullOut = (g_dir / "hull.stl").string();
        out.smoothOut = (g_dir / "smoothed.xyz").string();
        std::mt19937_64 rng(5);
        writeXyz(out.cylinder, kPoints, [&](std::size_t i, double& x, double& y, double& z) {
            cylinderPoint(i, kPoints, 0.0, rng, x, y, z);
        });
        writeXyz(out.reference, kPoints / 5, [&](std::size_t i, double& x, double& y, double& z) {
            cylinderPoint(i, kPoints / 5, 0.3, rng, x, y, z);
        });
        std::uniform_real_distribution<double> angle(0.0, 2.0 * kPi);
        std::normal_distribution<double> noise(0.0, 0.002);
        writeXyz(out.torus, kPoints, [&](std::size_t, double& x, double& y, double& z) {
            const double th = angle(rng), ph = angle(rng);
            const double rr = 30.0 + 8.0 * std::cos(ph) + noise(rng);
            x = rr * std::cos(th);
            y = rr * std::sin(th);
            z = 8.0 * std::sin(ph);
        });
        writeCylinderStl(out.mesh);
        return out;
    }();
    return d;
}

struct Command {
    const char* name;
    std::vector<std::string> (*arguments)(const Data&);
    const char* label;  // the command's progress label; nullptr: the first cleared bar
};

const Command kCommands[] = {
    {"normals",
     [](const Data& d) {
         return std::vector<std::string>{"normals", d.cylinder};
     },
     "Normals"},
    {"features_extrinsic",
     [](const Data& d) {
         return std::vector<std::string>{"features", d.cylinder, "--feature", "extrinsic"};
     },
     "Features"},
    {"smooth",
     [](const Data& d) {
         return std::vector<std::string>{"smooth",   d.cylinder, "--function", "gauss",
                                         "--radius", "0.15",     "-o",         d.smoothOut};
     },
     "Smoothing"},
    {"fit_cylinder",
     [](const Data& d) {
         return std::vector<std::string>{"fit", "cylinder", d.cylinder};
     },
     "Fitting"},
    {"fit_torus",
     [](const Data& d) {
         return std::vector<std::string>{"fit", "torus", d.torus};
     },
     "Fitting"},
    {"register",
     [](const Data& d) {
         return std::vector<std::string>{"register", d.cylinder, d.reference};
     },
     "Registering"},
    {"distances_mesh",
     [](const Data& d) {
         return std::vector<std::string>{"distances", d.cylinder, d.mesh};
     },
     "Measuring"},
    {"hull",
     [](const Data& d) {
         return std::vector<std::string>{"hull", d.cylinder, "-o", d.hullOut};
     },
     nullptr},
};

// tessaro-cli with stderr on a new pseudo terminal (stdout to /dev/null).
struct Child {
    pid_t pid = -1;
    int terminal = -1;  // the master side
};

Child start(const std::vector<std::string>& arguments) {
    Child c;
    c.terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (c.terminal < 0 || ::grantpt(c.terminal) != 0 || ::unlockpt(c.terminal) != 0)
        throw std::runtime_error("no pseudo terminal");
    const std::string slave = ::ptsname(c.terminal);
    std::vector<char*> argv;
    std::string program = TESSARO_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    c.pid = ::fork();
    if (c.pid == 0) {
        ::setsid();
        const int s = ::open(slave.c_str(), O_RDWR);
        const int null = ::open("/dev/null", O_WRONLY);
        if (s < 0 || null < 0) ::_exit(127);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(s, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (c.pid < 0) throw std::runtime_error("fork failed");
    return c;
}

// Reads what the child wrote to its terminal for up to `wait`; false at its end.
bool drain(int terminal, std::string& text, std::chrono::milliseconds wait) {
    pollfd p{terminal, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return true;
    char buffer[4096];
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
}

void runAbort(benchmark::State& state, const Command& command) {
    const Data& d = data();
    const auto delay = std::chrono::milliseconds(state.range(0));
    for (auto _ : state) {
        Child child = start(command.arguments(d));
        std::string output;
        int status = 0;
        bool exited = false;
        // Until the command itself runs.
        const std::string marker = command.label ? std::string(command.label) + " " : "\033[K";
        while (output.find(marker) == std::string::npos) {
            if (::waitpid(child.pid, &status, WNOHANG) == child.pid) {
                exited = true;
                break;
            }
            drain(child.terminal, output, std::chrono::milliseconds(5));
        }
        const Clock::time_point running = Clock::now();
        while (!exited && Clock::now() - running < delay) {
            if (::waitpid(child.pid, &status, WNOHANG) == child.pid) exited = true;
            drain(child.terminal, output, std::chrono::milliseconds(2));
        }
        if (exited) {
            ::close(child.terminal);
            state.SkipWithError("the command ended before the signal");
            break;
        }
        const Clock::time_point sent = Clock::now();
        ::kill(child.pid, SIGINT);
        while (::waitpid(child.pid, &status, WNOHANG) != child.pid)
            drain(child.terminal, output, std::chrono::milliseconds(1));
        const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
        ::close(child.terminal);
        state.SetIterationTime(seconds);
        state.counters["exit_ms"] = 1000.0 * seconds;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 128 + SIGINT) {
            state.SkipWithError("the command did not end as interrupted");
            break;
        }
    }
}

const bool registered = [] {
    for (const Command& command : kCommands) {
        benchmark::RegisterBenchmark(
            (std::string("cli_abort/") + command.name).c_str(),
            [&command](benchmark::State& state) { runAbort(state, command); })
            ->Arg(200)
            ->Arg(1000)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();

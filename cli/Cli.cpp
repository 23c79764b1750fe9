#include "cli/Cli.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>

#include "alg3D/matrix/Alg3dException.h"
#include "io/OutputFile.h"

namespace tessaro {
namespace cli {

namespace {

// The signal that asked the run to stop, 0 while none has.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

// Set together with g_signal.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int signal) {
    g_signal.store(signal);
    g_interrupted.store(true);
}

constexpr int kBarWidth = 30;

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<SubcommandEntry>& registry() {
    static std::vector<SubcommandEntry> entries;
    return entries;
}

}  // namespace

std::string messageOf(const std::exception& e) {
    std::string text = e.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

Context::Context(std::ostream& out, std::ostream& err)
    : out_(out), err_(err), terminal_(::isatty(STDERR_FILENO) == 1) {}

commands::PollCallback Context::progress(const std::string& action, const std::string& file) {
    const std::string label = action + " " + baseName(file);
    return [this, label, last = -1](float percent) mutable {
        if (terminal_) {
            const int value = std::clamp(static_cast<int>(percent), 0, 100);
            if (value != last) {
                last = value;
                const int filled = value * kBarWidth / 100;
                err_ << '\r' << label << " [" << std::string(filled, '#')
                     << std::string(kBarWidth - filled, ' ') << "] " << value << '%' << std::flush;
                barShown_ = true;
            }
        }
        return interrupted();
    };
}

void Context::endProgress() {
    if (!barShown_) return;
    err_ << "\r\033[K" << std::flush;
    barShown_ = false;
}

bool Context::interrupted() {
    return g_signal.load() != 0;
}

const std::atomic<bool>& Context::interruptFlag() {
    return g_interrupted;
}

int Context::interruptedExit() {
    endProgress();
    const int signal = g_signal.load();
    err_ << "tessaro-cli: interrupted" << std::endl;
    return 128 + (signal != 0 ? signal : SIGINT);
}

void Context::reportError(const FileError& e) {
    endProgress();
    err_ << "tessaro-cli: " << e.file() << ": " << e.what() << std::endl;
}

void Context::reportError(const std::string& message) {
    endProgress();
    err_ << "tessaro-cli: " << message << std::endl;
}

void installInterruptHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A write beyond the file size limit then fails like one onto a full disk (EFBIG),
    // and the tool reports it and removes its temporary file instead of dying.
    signal(SIGXFSZ, SIG_IGN);
}

std::string formatDouble(double value) {
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

bool registerSubcommand(const SubcommandEntry& entry) {
    registry().push_back(entry);
    return true;
}

std::vector<SubcommandEntry> registeredSubcommands() {
    std::vector<SubcommandEntry> entries = registry();
    std::sort(entries.begin(), entries.end(),
              [](const SubcommandEntry& a, const SubcommandEntry& b) {
                  return std::strcmp(a.name, b.name) < 0;
              });
    return entries;
}

bool loadData(Context& context, const std::string& file, commands::LoadedData& data) {
    const commands::JobStatus read = withFile(file, [&] {
        return commands::loadFile(file, data, context.progress("Reading", file),
                                  Context::kPollInterval);
    });
    context.endProgress();
    return read != commands::JobStatus::kAborted && !Context::interrupted();
}

bool saveData(Context& context, const std::string& file, const commands::LoadedData& data,
              const commands::SaveOptions& options) {
    const commands::JobStatus written = withFile(file, [&] {
        return commands::saveFile(file, data, context.progress("Writing", file), options,
                                  Context::kPollInterval);
    });
    context.endProgress();
    return written != commands::JobStatus::kAborted && !Context::interrupted();
}

bool runWithProgress(Context& context, const std::string& action, const std::string& file,
                     const std::function<commands::JobStatus(const commands::PollCallback&)>& job,
                     const std::string& blamed) {
    const commands::JobStatus status = withFile(
        blamed.empty() ? file : blamed, [&] { return job(context.progress(action, file)); });
    context.endProgress();
    return status != commands::JobStatus::kAborted && !Context::interrupted();
}

bool writeLines(const std::string& fileName, std::size_t count,
                const std::function<int(std::size_t, char*, std::size_t)>& line) {
    return withFile(fileName, [&] {
        io::OutputFile out(fileName);
        if (!out.open()) alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
        std::string buffer;
        constexpr std::size_t kFlushSize = 1 << 20;
        buffer.reserve(kFlushSize + 256);
        char text[256];
        for (std::size_t i = 0; i < count; ++i) {
            const int length = line(i, text, sizeof text);
            buffer.append(text, static_cast<std::size_t>(length));
            if (buffer.size() >= kFlushSize) {
                if (Context::interrupted()) return false;  // the destructor discards
                if (!out.write(buffer.data(), buffer.size()))
                    alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
                buffer.clear();
            }
        }
        if (!buffer.empty() && !out.write(buffer.data(), buffer.size()))
            alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
        if (Context::interrupted()) return false;
        out.commit();
        return true;
    });
}

namespace {

// Parses the whole text as a double; false when anything is left over or it does not parse.
bool parseWhole(const std::string& text, double& value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

const CLI::Validator& anyNumber() {
    static const CLI::Validator check(
        [](const std::string& text) -> std::string {
            double v = 0.0;
            if (parseWhole(text, v) && !std::isnan(v)) return {};
            return "not a number: " + text;
        },
        "NUMBER");
    return check;
}

const CLI::Validator& finiteNumber() {
    static const CLI::Validator check(
        [](const std::string& text) -> std::string {
            double v = 0.0;
            if (parseWhole(text, v) && std::isfinite(v)) return {};
            return "not a finite number: " + text;
        },
        "NUMBER");
    return check;
}

const CLI::Validator& nonNegativeNumber() {
    static const CLI::Validator check(
        [](const std::string& text) -> std::string {
            double v = 0.0;
            if (parseWhole(text, v) && std::isfinite(v) && v >= 0.0) return {};
            return "not a finite number of at least 0: " + text;
        },
        "NUMBER");
    return check;
}

const CLI::Validator& wholeNumber() {
    static const CLI::Validator check(
        [](const std::string& text) -> std::string {
            if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
                try {
                    std::stoull(text);
                    return {};
                } catch (const std::out_of_range&) {
                    return "too large: " + text;
                }
            }
            return "not a whole number of at least 0: " + text;
        },
        "N");
    return check;
}

}  // namespace cli
}  // namespace tessaro

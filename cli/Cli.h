// The frame every tessaro-cli subcommand runs in.
//
// A subcommand lives in its own file: a setup function adds its options and positionals
// to its CLI11 sub-app and returns the function that runs it, and one
// TESSARO_CLI_SUBCOMMAND line registers the pair. main() parses the common options
// (--json, --threads), installs the interrupt handling and turns the outcome into the
// exit code: 0 success, 1 failure, 2 usage error, 128 + signal number after an interrupt
// (130 for Ctrl-C).
#pragma once

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/FileCommands.h"
#include "commands/JobRunner.h"

namespace tessaro {
namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A failure that concerns one file; reported as "tessaro-cli: FILE: message".
class FileError : public std::runtime_error {
  public:
    FileError(std::string file, const std::string& message)
        : std::runtime_error(message), file_(std::move(file)) {}
    const std::string& file() const { return file_; }

  private:
    std::string file_;
};

// The text of an exception for the error line: what() without its trailing newline.
std::string messageOf(const std::exception& e);

// Runs fn and reports anything it throws as a FileError about `file`.
template <typename Fn>
decltype(auto) withFile(const std::string& file, Fn&& fn) {
    try {
        return fn();
    } catch (const FileError&) {
        throw;
    } catch (const std::exception& e) {
        throw FileError(file, messageOf(e));
    } catch (...) {
        throw FileError(file, "Unknown error!");
    }
}

// What a running subcommand gets from the frame.
class Context {
  public:
    Context(std::ostream& out, std::ostream& err);

    bool json = false;  // print one JSON value on stdout instead of text
    int threads = 1;    // OpenMP threads, already set for the kernels

    std::ostream& out() { return out_; }

    // A poll callback for one phase of the work on a file ("Reading", "/data/scan.xyz"):
    // it draws a progress bar labelled "Reading scan.xyz" on stderr when stderr is a
    // terminal, and asks the job to stop once an interrupt has arrived. endProgress()
    // clears the bar.
    commands::PollCallback progress(const std::string& action, const std::string& file);
    // How often the progress callbacks run: often enough that Ctrl-C feels immediate.
    static constexpr std::chrono::milliseconds kPollInterval{25};
    void endProgress();

    // Whether SIGINT or SIGTERM has arrived.
    static bool interrupted();
    // A flag the handler sets with the signal, for work that runs on the calling thread
    // and takes an abort flag of its own (the hull).
    static const std::atomic<bool>& interruptFlag();
    // Reports the interrupt and gives the exit code for it (130 for SIGINT).
    int interruptedExit();

    // Writes "tessaro-cli: FILE: message" to stderr.
    void reportError(const FileError& e);
    void reportError(const std::string& message);

    // Writes a JSON text (one line per member, two-space indent) and a newline to stdout.
    template <typename Json>
    void printJson(const Json& value) {
        out_ << value.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    }

  private:
    std::ostream& out_;
    std::ostream& err_;
    bool barShown_ = false;
    bool terminal_ = false;
};

// Installs the SIGINT and SIGTERM handlers; the handler only stores the signal number
// in a lock-free atomic, which the progress callbacks read.
void installInterruptHandlers();

// The shortest decimal text that reads back as exactly the same double.
std::string formatDouble(double value);

// Reads a data file with the progress bar; errors become a FileError about the file.
// False when the reading was aborted or an interrupt came.
bool loadData(Context& context, const std::string& file, commands::LoadedData& data);

// Writes data to a file with the progress bar, through the safe output (the target is
// replaced only when complete); errors become a FileError about the file. False when the
// writing was aborted or an interrupt came.
bool saveData(Context& context, const std::string& file, const commands::LoadedData& data,
              const commands::SaveOptions& options = {});

// Runs one command of the command layer with the progress bar "ACTION FILE"; errors become
// a FileError about `blamed` (the file the command's failures concern, by default `file`).
// False when the run was aborted or an interrupt came.
bool runWithProgress(Context& context, const std::string& action, const std::string& file,
                     const std::function<commands::JobStatus(const commands::PollCallback&)>& job,
                     const std::string& blamed = {});

// Writes `count` lines made by `line` (which prints line i into the buffer of the given
// size and returns its length) through the safe output, so that the target is replaced
// only when complete. False after an interrupt; the file is then left as it was.
bool writeLines(const std::string& fileName, std::size_t count,
                const std::function<int(std::size_t, char*, std::size_t)>& line);

// Option checks shared by the subcommands; each rejects the text with a message naming it.
const CLI::Validator& anyNumber();          // a number, infinities allowed, NaN not
const CLI::Validator& finiteNumber();       // a finite number
const CLI::Validator& nonNegativeNumber();  // a finite number of at least 0
// A whole number from 0 to 2^64 - 1 (the unsigned conversion alone would wrap "-3"
// around and cut larger numbers down silently).
const CLI::Validator& wholeNumber();

using RunFunction = std::function<int(Context&)>;
using SetupFunction = RunFunction (*)(CLI::App& subcommand);

struct SubcommandEntry {
    const char* name;
    const char* description;
    SetupFunction setup;
};

// Adds a subcommand to the tool; returns true so that it can initialise a static.
bool registerSubcommand(const SubcommandEntry& entry);
// All registered subcommands, sorted by name.
std::vector<SubcommandEntry> registeredSubcommands();

}  // namespace cli
}  // namespace tessaro

#define TESSARO_CLI_SUBCOMMAND(name, description, setup)                \
    namespace {                                                         \
    [[maybe_unused]] const bool registered_##setup =                    \
        ::tessaro::cli::registerSubcommand({name, description, setup}); \
    }

// tessaro-cli: batch work on point clouds and meshes over the command layer.
#include <omp.h>

#include <iostream>
#include <utility>

#include "cli/Cli.h"

namespace {
// More would only exhaust the system's threads; no machine this runs on has as many cores.
constexpr int kMaxThreads = 4096;
}  // namespace

int main(int argc, char** argv) {
    using namespace tessaro::cli;
    installInterruptHandlers();

    CLI::App app{"Batch work on point clouds and meshes.", "tessaro-cli"};
    app.require_subcommand(1);
    Context context(std::cout, std::cerr);
    int threads = omp_get_num_procs();
    app.add_flag("--json", context.json, "Print the result as JSON on stdout");
    app.add_option("--threads", threads,
                   "Threads for parallel computations (default: all processors)")
        ->check(CLI::Range(1, kMaxThreads))
        ->capture_default_str();

    std::vector<std::pair<CLI::App*, RunFunction>> runs;
    for (const SubcommandEntry& entry : registeredSubcommands()) {
        CLI::App* sub = app.add_subcommand(entry.name, entry.description);
        sub->fallthrough();  // the common options may also follow the subcommand
        runs.emplace_back(sub, entry.setup(*sub));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
    }

    omp_set_num_threads(threads);
    context.threads = threads;
    for (auto& [sub, run] : runs) {
        if (!sub->parsed()) continue;
        try {
            return run(context);
        } catch (const FileError& e) {
            context.reportError(e);
        } catch (const std::exception& e) {
            context.reportError(messageOf(e));
        } catch (...) {
            context.reportError("Unknown error!");
        }
        return kExitFailure;
    }
    return kExitUsage;
}

// Helpers of the hull and Chebyshev command-line tests: a scratch folder, running the
// built tool with its output captured, and writing point files.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alg3D/matrix/Matrix.h"

extern char** environ;

namespace cli_run {

namespace fs = std::filesystem;

class ScratchDir {
  public:
    explicit ScratchDir(const std::string& tag) {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("tessaro_" + tag + "_" + std::to_string(::getpid()) +
                                             "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

inline std::string readAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline Outcome run(const std::vector<std::string>& args) {
    ScratchDir io("cliout");
    const std::string outFile = io.file("stdout"), errFile = io.file("stderr");
    std::vector<std::string> argv{TESSARO_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome o;
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << cargv[0] << ": " << std::strerror(rc);
        return o;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
    o.out = readAll(outFile);
    o.err = readAll(errFile);
    return o;
}

inline void writePoints(const std::string& fileName, const std::vector<alg3D::Vec3d>& points) {
    std::string text;
    char line[160];
    for (const alg3D::Vec3d& p : points) {
        std::snprintf(line, sizeof line, "%.9f %.9f %.9f\n", p.x, p.y, p.z);
        text += line;
    }
    std::ofstream(fileName, std::ios::binary) << text;
}

}  // namespace cli_run

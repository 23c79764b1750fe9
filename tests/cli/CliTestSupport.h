// What the command-line end-to-end tests share: a scratch folder, running the built
// tessaro-cli with its output captured, and writing and reading plain point files.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "alg3D/matrix/Matrix.h"

extern char** environ;

namespace cli_test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class Scratch {
  public:
    explicit Scratch(const std::string& tag = "cli") {
        static int counter = 0;
        path_ =
            std::filesystem::temp_directory_path() /
            ("tessaro_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::size_t entryCount() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_),
                                                      std::filesystem::directory_iterator()));
    }

  private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int exitCode = -1;  // exit status, or -1 when the process died by a signal
    int signal = 0;     // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Starts tessaro-cli with an empty stdin and stdout and stderr in the given files (or
// stderr on `stderrFd`); a process still running at the end is killed.
class Process {
  public:
    Process(const std::vector<std::string>& args, std::string outFile, std::string errFile,
            int stderrFd = -1)
        : outFile_(std::move(outFile)), errFile_(std::move(errFile)) {
        std::vector<std::string> argv{TESSARO_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (stderrFd >= 0) {
            posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile_.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        const int rc = posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << "cannot start " << cargv[0] << ": " << std::strerror(rc);
            pid_ = -1;
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (pid_ > 0) {
            if (!reaped_) ::kill(pid_, SIGKILL);
            wait();
        }
    }

    pid_t pid() const { return pid_; }

    Outcome wait() {
        Outcome o;
        if (pid_ <= 0) return o;
        int status = reapedStatus_;
        if (!reaped_) {
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
        if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
        o.out = readFile(outFile_);
        o.err = readFile(errFile_);
        return o;
    }

    // Whether the process has `fileName` open.
    bool hasOpen(const std::string& fileName) const {
        std::error_code ec;
        const std::filesystem::path wanted = std::filesystem::canonical(fileName, ec);
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec)) {
            std::error_code lec;
            if (std::filesystem::read_symlink(fd.path(), lec) == wanted) return true;
        }
        return false;
    }

    // A process found ended here is reaped; wait() then hands back its status.
    bool running() {
        if (pid_ <= 0 || reaped_) return false;
        if (::waitpid(pid_, &reapedStatus_, WNOHANG) == 0) return true;
        reaped_ = true;
        return false;
    }

  private:
    std::string outFile_;
    std::string errFile_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int reapedStatus_ = 0;
};

// Runs tessaro-cli with the arguments to its end.
inline Outcome runCli(const std::vector<std::string>& args) {
    Scratch io("cliout");
    Process p(args, io.file("stdout"), io.file("stderr"));
    return p.wait();
}

// "x y z" lines with 9 decimals.
inline void writePoints(const std::string& fileName, const std::vector<alg3D::Vec3d>& points) {
    std::string text;
    char line[160];
    for (const alg3D::Vec3d& p : points) {
        std::snprintf(line, sizeof line, "%.9f %.9f %.9f\n", p.x, p.y, p.z);
        text += line;
    }
    std::ofstream(fileName, std::ios::binary) << text;
}

// The first three columns of every line (what the tool read or wrote).
inline std::vector<alg3D::Vec3d> readPoints(const std::string& fileName) {
    std::ifstream in(fileName);
    std::vector<alg3D::Vec3d> points;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        double x, y, z;
        if (s >> x >> y >> z) points.emplace_back(x, y, z);
    }
    return points;
}

}  // namespace cli_test

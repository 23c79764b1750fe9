// Helpers of the register and distances end-to-end tests: a scratch folder, running the
// built tessaro-cli, and point and STL files.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alg3D/matrix/Matrix.h"

extern char** environ;

namespace icpcli {

namespace fs = std::filesystem;
using alg3D::Vec3d;

class Scratch {
  public:
    Scratch() {
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("tessaro_icpcli_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

inline std::string readFile(const std::string& fileName) {
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

inline Outcome runCli(const std::vector<std::string>& args) {
    Scratch io;
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
    o.out = readFile(outFile);
    o.err = readFile(errFile);
    return o;
}

inline void writePoints(const std::string& fileName, const std::vector<Vec3d>& points) {
    std::string text;
    char line[160];
    for (const Vec3d& p : points) {
        std::snprintf(line, sizeof line, "%.9f %.9f %.9f\n", p.x, p.y, p.z);
        text += line;
    }
    std::ofstream(fileName, std::ios::binary) << text;
}

// The first three columns of every line.
inline std::vector<Vec3d> readPoints(const std::string& fileName) {
    std::ifstream in(fileName);
    std::vector<Vec3d> points;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        double x, y, z;
        if (s >> x >> y >> z) points.emplace_back(x, y, z);
    }
    return points;
}

// Binary STL of a triangle soup (three corners per triangle, as floats).
inline void writeStl(const std::string& fileName, const std::vector<Vec3d>& corners) {
    std::ofstream out(fileName, std::ios::binary);
    char header[80] = {};
    out.write(header, 80);
    const std::uint32_t count = static_cast<std::uint32_t>(corners.size() / 3);
    out.write(reinterpret_cast<const char*>(&count), 4);
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
        const Vec3d n =
            (corners[t + 1] - corners[t]).cross(corners[t + 2] - corners[t]).normalized();
        float f[12] = {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)};
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c)
                f[3 + 3 * k + c] = static_cast<float>(corners[t + k][c]);
        out.write(reinterpret_cast<const char*>(f), sizeof f);
        const std::uint16_t attr = 0;
        out.write(reinterpret_cast<const char*>(&attr), 2);
    }
}

// Corners rounded to float, as the STL holds them.
inline std::vector<Vec3d> asFloats(std::vector<Vec3d> v) {
    for (Vec3d& p : v)
        p = Vec3d(float(p.x), float(p.y), float(p.z));
    return v;
}

}  // namespace icpcli

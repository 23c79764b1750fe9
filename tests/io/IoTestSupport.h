// Helpers of the file layer tests: a private temporary folder per test, whole-file
// reads and writes, and running a job record synchronously.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "io/FileIOInfo.h"

namespace io_test {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
  public:
    TempDir() {
        std::random_device device;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = fs::temp_directory_path() /
                    ("tessaro-io-test-" + std::to_string(stamp) + "-" + std::to_string(device()));
            std::error_code ec;
            if (fs::create_directory(path_, ec)) return;
        }
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    // Names of everything in the folder, to find stray temporary files.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    // A new file rather than a truncated one: some file systems flush a truncated
    // and rewritten file to disk on close, which makes many small writes slow.
    std::error_code ec;
    fs::remove(path, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The what() text of the exception a job stored, or "" when it succeeded.
inline std::string errorText(const tessaro::io::FileIOInfo& info) {
    if (!info.error) return "";
    try {
        std::rethrow_exception(info.error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "non-standard exception";
    }
}

template <typename Point>
std::string readJob(const std::string& fileName, int type, std::vector<Point>& points) {
    tessaro::io::FileIOInfo info;
    info.fileName = fileName;
    info.type = type;
    tessaro::io::readFileJob(&info, &points);
    EXPECT_EQ(info.progress.load(), 100);
    return errorText(info);
}

template <typename Point>
std::string writeJob(const std::string& fileName, int type, const std::vector<Point>& points,
                     bool append = false) {
    tessaro::io::FileIOInfo info;
    info.fileName = fileName;
    info.type = type;
    info.append = append;
    tessaro::io::writeFileJob(&info, &points);
    EXPECT_EQ(info.progress.load(), 100);
    return errorText(info);
}

inline std::string alg3dText(const char* text) {
    return std::string("ALG3D::") + text;
}

}  // namespace io_test

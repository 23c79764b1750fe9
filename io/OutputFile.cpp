#include "io/OutputFile.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "alg3D/matrix/Alg3dException.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define TESSARO_HAVE_FSYNC 1
#endif

namespace tessaro {
namespace io {

namespace fs = std::filesystem;

namespace {

// Writes through a symbolic link land on the file it points to, and the link stays.
std::string resolveDestination(const std::string& target) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path real = fs::weakly_canonical(target, ec);
        if (!ec) return real.string();
    }
    return target;
}

std::string randomSuffix() {
    static thread_local std::mt19937_64 generator{
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    static const char kHex[] = "0123456789abcdef";
    std::uint64_t bits = generator();
    std::string suffix(12, '0');
    for (char& c : suffix) {
        c = kHex[bits & 15];
        bits >>= 4;
    }
    return suffix;
}

}  // namespace

OutputFile::OutputFile(std::string target, Mode mode) : target_(std::move(target)), mode_(mode) {}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

bool OutputFile::open() {
    if (file_ != nullptr) return true;
    if (failed_ || committed_) return false;
    if (mode_ == Mode::kAppend) {
        file_ = std::fopen(target_.c_str(), "ab");
        if (file_ == nullptr) failed_ = true;
        return file_ != nullptr;
    }
    destination_ = resolveDestination(target_);
    // Exclusive creation ("x") never takes over a file somebody else made.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = destination_ + ".tmp-" + randomSuffix();
        errno = 0;
        file_ = std::fopen(candidate.c_str(), "wbx");
        if (file_ != nullptr) {
            tempPath_ = std::move(candidate);
            return true;
        }
        if (errno != EEXIST) break;
    }
    failed_ = true;
    return false;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (file_ == nullptr || failed_) return false;
    if (size == 0) return true;
    if (std::fwrite(data, 1, size, file_) != size) {
        failed_ = true;
        return false;
    }
    bytesWritten_ += size;
    return true;
}

bool OutputFile::syncToDisk() {
    if (failed_) return false;
    if (file_ == nullptr) return true;
    bool ok = std::fflush(file_) == 0;
#ifdef TESSARO_HAVE_FSYNC
    if (ok && mode_ == Mode::kReplace) ok = ::fsync(fileno(file_)) == 0;
#endif
    if (!ok) failed_ = true;
    return ok;
}

bool OutputFile::tryCommit() {
    if (committed_) return true;
    if (failed_) {
        discard();
        return false;
    }
    if (file_ == nullptr) {
        committed_ = true;
        return true;
    }
    bool ok = std::fflush(file_) == 0;
#ifdef TESSARO_HAVE_FSYNC
    // The data must be on disk before the rename makes it the target.
    if (ok && mode_ == Mode::kReplace) ok = ::fsync(fileno(file_)) == 0;
#endif
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (mode_ == Mode::kAppend) {
        committed_ = ok;
        failed_ = !ok;
        return ok;
    }
    if (ok) {
        std::error_code ec;
        const fs::file_status old = fs::status(destination_, ec);
        if (!ec && fs::exists(old)) {
            // Keep the permissions the replaced file had; failing to is no reason to
            // give up the write.
            fs::permissions(tempPath_, old.permissions(), fs::perm_options::replace, ec);
        }
        fs::rename(tempPath_, destination_, ec);
        ok = !ec;
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(tempPath_, ec);
        failed_ = true;
    } else {
        committed_ = true;
    }
    tempPath_.clear();
    return ok;
}

void OutputFile::commit() {
    if (!tryCommit()) alg3D::throwAlg3dException(alg3D::errors::kCanNotWriteFile);
}

void OutputFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        std::error_code ec;
        fs::remove(tempPath_, ec);
        tempPath_.clear();
    }
    if (!committed_) failed_ = true;
}

}  // namespace io
}  // namespace tessaro

#include "io/OutputFile.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "alg3D/matrix/Alg3dException.h"

#if defined(__unix__) || defined(__APPLE__)
#include <signal.h>
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

constexpr char kTemporaryTag[] = ".tmp-";
constexpr std::size_t kTemporaryTagLength = sizeof(kTemporaryTag) - 1;
constexpr std::size_t kRandomDigits = 12;

// The process id in "<pid>-<12 hex digits>" that ends `name` from `start` on; 0 when
// the rest of the name is not of that form.
long ownerFrom(const std::string& name, std::size_t start) {
    long pid = 0;
    std::size_t i = start;
    for (; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
        if (pid > (INT_MAX - 9) / 10) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    if (i == start || i >= name.size() || name[i] != '-') return 0;
    ++i;
    if (name.size() - i != kRandomDigits) return 0;
    for (; i < name.size(); ++i) {
        const char c = name[i];
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return 0;
    }
    return pid;
}

// A folder, FIFO, device or socket: never replaced, and never opened for writing (an
// open of a FIFO without a reader would wait for ever). Links are followed.
bool existsAsNonRegular(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_regular_file(status);
}

// Whether a process with this id runs. Without a way to ask, every owner counts as alive
// (a file left behind is better than a file taken from a running writer).
bool processRunning(long pid) {
#if defined(__unix__) || defined(__APPLE__)
    if (pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#else
    (void)pid;
    return true;
#endif
}

long currentProcessId() {
#if defined(__unix__) || defined(__APPLE__)
    return static_cast<long>(::getpid());
#else
    return 0;
#endif
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

long temporaryFileOwner(const std::string& fileName) {
    const std::string name = fs::path(fileName).filename().string();
    // The last tag counts: a target's own name may hold the tag too.
    const std::size_t tag = name.rfind(kTemporaryTag);
    if (tag == std::string::npos || tag == 0) return 0;
    return ownerFrom(name, tag + kTemporaryTagLength);
}

bool isTemporaryFileName(const std::string& fileName) {
    return temporaryFileOwner(fileName) > 0;
}

std::size_t removeStaleTemporaryFiles(const std::string& target) {
    const fs::path destination(resolveDestination(target));
    const std::string prefix = destination.filename().string() + kTemporaryTag;
    fs::path folder = destination.parent_path();
    if (folder.empty()) folder = ".";
    std::vector<fs::path> stale;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const long owner = ownerFrom(name, prefix.size());
        if (owner <= 0 || processRunning(owner)) continue;
        std::error_code sec;
        if (!fs::is_regular_file(it->symlink_status(sec)) || sec) continue;
        stale.push_back(it->path());
    }
    std::size_t removed = 0;
    for (const fs::path& path : stale) {
        std::error_code rec;
        if (fs::remove(path, rec)) ++removed;
    }
    return removed;
}

OutputFile::OutputFile(std::string target, Mode mode) : target_(std::move(target)), mode_(mode) {}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

bool OutputFile::open() {
    if (file_ != nullptr) return true;
    if (failed_ || committed_) return false;
    if (existsAsNonRegular(target_)) {
        failed_ = true;
        return false;
    }
    if (mode_ == Mode::kAppend) {
        file_ = std::fopen(target_.c_str(), "ab");
        if (file_ == nullptr) failed_ = true;
        return file_ != nullptr;
    }
    destination_ = resolveDestination(target_);
    // What killed writers left behind goes before this write adds a file of its own.
    removeStaleTemporaryFiles(destination_);
    const std::string stem =
        destination_ + kTemporaryTag + std::to_string(currentProcessId()) + "-";
    // Exclusive creation ("x") never takes over a file somebody else made.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + randomSuffix();
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
    // The target may have become a FIFO or a device since the write began.
    if (ok && existsAsNonRegular(destination_)) ok = false;
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

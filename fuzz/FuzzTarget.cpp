#include "fuzz/FuzzTarget.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "commands/FileCommands.h"

namespace tessaro {
namespace fuzz {

namespace {

std::vector<Target>& registry() {
    static std::vector<Target> all;
    return all;
}

// One file per process and suffix, in memory-backed /dev/shm where there is one: the
// fuzzer runs thousands of inputs a second through it.
std::string scratchName(const std::string& suffix) {
    std::error_code ec;
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path dir =
        std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    return (dir / ("tessaro-fuzz-" + std::to_string(::getpid()) + "." + suffix)).string();
}

class ScratchFile {
  public:
    explicit ScratchFile(const std::string& suffix) : name_(scratchName(suffix)) {}
    ~ScratchFile() { std::remove(name_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    void write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* f = std::fopen(name_.c_str(), "wb");
        if (!f) std::abort();
        const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) != 0 || !written) std::abort();
    }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
};

}  // namespace

const std::vector<Target>& targets() {
    return registry();
}

bool registerTarget(const char* name, TargetBody body) {
    registry().push_back({name, body});
    return true;
}

int loadAs(const std::uint8_t* data, std::size_t size, const std::string& suffix) {
    const ScratchFile file(suffix);
    file.write(data, size);
    try {
        commands::LoadedData loaded;
        if (commands::loadFile(file.name(), loaded) == commands::JobStatus::kCompleted) {
            const commands::FileInfo info = commands::describeData(file.name(), loaded);
            // A mesh is whole triangles, and every point (every triangle of a mesh: a
            // polygon fanned from one-byte indices costs a byte per triangle) takes bytes of
            // the file: anything else is a reader that lost count.
            const bool mesh = info.kind == commands::DataKind::kMesh;
            if (mesh && info.points % 3 != 0) std::abort();
            if ((mesh ? info.points / 3 : info.points) > size) std::abort();
        }
    } catch (const std::runtime_error&) {
        // The reader refused the file with its message: the sound answer to bad input.
    }
    return 0;
}

}  // namespace fuzz
}  // namespace tessaro

// Output file that never destroys a good file.
//
// A replacing write goes to a temporary file beside the target and replaces the
// target (by rename) only on commit; a write that fails, is aborted or is never
// committed removes the temporary file and leaves the target as it was. An
// appending write opens the target itself for appending (what was there stays,
// what was appended before a failure stays too).
//
// One OutputFile can take several parts, for example several objects saved into
// one file: hand it to each write job through FileIOInfo::output (the first job
// opens it, the others add to it), then commit once:
//
//     tessaro::io::OutputFile out(fileName);
//     info.output = &out;
//     info.type = kWriteXyz; writeFileJob(&info, &cloudA);  // check error and abort
//     info.type = kWriteXyz; writeFileJob(&info, &cloudB);
//     out.commit();                                         // the one replace
//
// If any part fails or is aborted, simply do not commit: the destructor discards.
//
// The temporary file is "<target>.tmp-<pid>-<12 hex digits>", with the writer's process
// id. A process killed while writing cannot remove its file; the next replacing write to
// the same target removes every such file whose process no longer runs (files of live
// processes, another writer among them, stay). Two processes replacing one target at once
// each fill a file of their own, and the target ends as one of the two complete files.
//
// Only a regular file (or a link to one, which is followed) is replaced: a target that is
// a folder, FIFO, device or socket makes open and commit fail and is never touched.
//
// Errors: open, write and tryCommit report failure by their result (the writers turn
// it into their own texts); commit throws Alg3dException "can not write destination
// file.\n". Not thread-safe; one job uses it at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tessaro {
namespace io {

// Whether a file name (with or without folder) is that of a replacing write's temporary
// file, and the process id in it (0 when it is not one).
bool isTemporaryFileName(const std::string& fileName);
long temporaryFileOwner(const std::string& fileName);

// Removes the temporary files beside `target` (links resolved) whose writing process has
// ended. Returns how many were removed. Cost: one pass over the target's folder.
std::size_t removeStaleTemporaryFiles(const std::string& target);

class OutputFile {
  public:
    enum class Mode { kReplace, kAppend };

    explicit OutputFile(std::string target, Mode mode = Mode::kReplace);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file (or opens the target for appending). Does nothing
    // when already open. False on failure.
    bool open();
    bool isOpen() const { return file_ != nullptr; }

    // Appends bytes; false on failure, after which every later write and the
    // commit fail too.
    bool write(const void* data, std::size_t size);

    // Bytes written through this object so far (not counting what an appended
    // file held before).
    std::uint64_t bytesWritten() const { return bytesWritten_; }

    // Puts what was written on the disk without finishing the file: the slow part of a
    // commit, so that a caller can ask once more whether to replace the target and the
    // commit that follows is only a rename. False on failure (the commit then fails).
    bool syncToDisk();

    // Finishes the file: flushes and closes it and, for a replacing write, puts the
    // temporary file in the place of the target. A file that was never opened is
    // left alone (nothing was written). On failure the temporary file is removed
    // and the target is unchanged.
    bool tryCommit();
    void commit();

    // Drops a replacing write's temporary file; closes an appended file as it is.
    void discard();

    bool committed() const { return committed_; }
    const std::string& target() const { return target_; }
    // Path of the temporary file while a replacing write is open, else empty.
    const std::string& temporaryPath() const { return tempPath_; }

  private:
    std::string target_;
    Mode mode_;
    std::string destination_;  // target with symbolic links resolved
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    std::uint64_t bytesWritten_ = 0;
    bool failed_ = false;
    bool committed_ = false;
};

}  // namespace io
}  // namespace tessaro

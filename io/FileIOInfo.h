// Job record of a file read or write on a worker thread, and the four worker entries.
//
// The controlling thread fills the record, starts one entry on a std::thread, polls
// `progress` (0..100, 100 = finished, also after an error), may set `abort`, joins,
// and then looks at `error`. Readers and writers test `abort` before each line,
// triangle or record; after an aborted job `abort` is still set, so the caller can
// tell. Which reader a file gets follows from its suffix (fileTypeForName).
//
// The entries can also be called directly, on the caller's own thread. The format
// functions behind them: TextPointReaders.h, TextPointWriters.h, PslReader.h,
// StlReaders.h, StlWriter.h, ScanDataLoader.h, PlyReader.h, PlyWriter.h. Writers never destroy a
// good file: a replacing write goes through a temporary file (OutputFile.h), which also lets
// several write jobs fill one file with a single replace at the end (`output`).
#pragma once

#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "alg3D/matrix/GLPoint.h"
#include "alg3D/matrix/Matrix.h"

namespace tessaro {
namespace io {

class OutputFile;

// Job codes.
enum FileJobType : int {
    kJobNone = 0,
    kReadXyz = 1,       // .xyz reader into Vec3d
    kReadStl = 2,       // STL reader (ASCII or binary) into Vec3d, three corners per triangle
    kReadScanData = 3,  // scan data (.scn) into Vec3d
    kReadXyzc = 4,      // .xyzc reader into GLPoint
    kReadPsl = 5,       // .psl profile reader into Vec3d
    kReadPts = 6,       // .pts reader into GLPoint
    kWriteXyz = 7,      // .xyz writer from Vec3d or GLPoint
    kWriteXyzc = 8,     // .xyzc writer from GLPoint, or Vec3d with parallel Color
    kWriteStl = 10,     // binary STL writer from Vec3d or GLPoint (three points per triangle)
    kReadPly = 11,      // PLY reader into PlyData (PlyReader.h)
    kWritePly = 12,     // PLY writer from PlySource (PlyWriter.h)
};

struct FileIOInfo {
    std::string fileName;          // path of the file to read or write
    bool append = false;           // .xyz/.xyzc writers: append instead of replacing (STL: ignored)
    std::atomic<int> progress{0};  // 0..100, written by the worker
    std::atomic<bool> abort{false};  // set by the controlling thread
    std::exception_ptr error;        // the exception that ended the job; empty on success
    int type = kJobNone;             // job code
    // Writers: when set, write into this open multi-part output (see OutputFile.h)
    // instead of `fileName`; `append` is then ignored and the caller commits.
    OutputFile* output = nullptr;
};

// Worker entries, one per container kind. Each sets progress to 0, clears error (abort
// is kept, so that one asked for before the worker started ends the job at its first
// check), runs the job its `type` names (a code not belonging to the entry does
// nothing), stores any escaping exception in `error` and sets progress to 100.
void readFileJob(FileIOInfo* info, std::vector<alg3D::Vec3d>* points);
void readFileJob(FileIOInfo* info, std::vector<alg3D::GLPoint>* points);
void writeFileJob(FileIOInfo* info, const std::vector<alg3D::Vec3d>* points,
                  const std::vector<alg3D::Color>* colors = nullptr);
void writeFileJob(FileIOInfo* info, const std::vector<alg3D::GLPoint>* points);

// The read job code for a file name by its suffix, case-insensitively: xyz 1,
// xyzc 4, psl 5, pts 6, stl 2, scn 3, ply 11; an .asc file is analysed (more than 5
// columns: 4, more than 2: 1). Returns kJobNone for anything else.
int fileTypeForName(const std::string& fileName);

// The common frame of the worker entries: progress 0, error cleared, the job run (not at
// all when an abort was asked for before the start: the flag is kept, never cleared), an
// escaping exception stored in `error`, progress 100.
template <typename Job>
void runFileJobFrame(FileIOInfo* info, Job job) {
    info->progress.store(0);
    info->error = nullptr;
    try {
        if (!info->abort.load()) job();
    } catch (...) {
        info->error = std::current_exception();
    }
    info->progress.store(100);
}

}  // namespace io
}  // namespace tessaro

// Asks the system to back a large, freshly reserved buffer with huge pages.
//
// The readers reserve their whole output at once and then fill it front to back;
// with ordinary 4 KiB pages every page costs a fault when it is first touched, which
// on virtual machines takes longer than parsing the numbers that fill it. Only a
// hint: where it is not available or not granted nothing changes.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessaro {
namespace io {

inline void adviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kMinimum = std::size_t(4) << 20;
    constexpr std::uintptr_t kPage = 4096;
    if (data == nullptr || bytes < kMinimum) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), static_cast<std::size_t>(last - first),
                  MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace io
}  // namespace tessaro

#include "commands/SelectionChecks.h"

namespace tessaro {
namespace commands {

const char* checkSingleCloud(std::size_t selectedObjects, bool isPointCloud,
                             const char* notACloudText) {
    if (selectedObjects == 0) return kSelectPointcloud;
    if (selectedObjects > 1) return kSelectOnePointcloud;
    if (!isPointCloud) return notACloudText;
    return nullptr;
}

}  // namespace commands
}  // namespace tessaro

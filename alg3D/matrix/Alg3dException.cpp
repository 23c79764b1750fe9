#include "alg3D/matrix/Alg3dException.h"

namespace alg3D {

void throwAlg3dException(const std::string& text) {
    throw Alg3dException(std::string(kExceptionPrefix) + text);
}

}  // namespace alg3D

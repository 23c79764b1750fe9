#include "alg3D/matrix/ColorScale.h"

#include <cmath>

namespace alg3D {

Color colorScale(double value, double hueRange) {
    double v = value;
    if (!(v >= 0.0)) v = 0.0;  // also catches NaN
    if (v > 1.0) v = 1.0;
    const double hue = (1.0 - v) * hueRange;
    if (!std::isfinite(hue)) return Color(255, 0, 0);
    const double sector = std::floor(hue / 60.0);
    const double f = hue / 60.0 - sector;
    auto ch = [](double factor) { return static_cast<unsigned char>(factor * 255.0); };
    const long c = static_cast<long>(sector);
    switch (c) {
        case 1: return Color(ch(1.0 - f), 255, 0);
        case 2: return Color(0, 255, ch(f));
        case 3: return Color(0, ch(1.0 - f), 255);
        case 4: return Color(ch(f), 0, 255);
        case 5: return Color(255, 0, ch(1.0 - f));
        default: break;
    }
    // Sector 0, and every other sector (hue 360 and beyond) in the same way.
    return Color(255, ch(f), 0);
}

}  // namespace alg3D

#include "render/placement.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <random>

namespace zx {
namespace {

// Real arithmetic truncated toward zero; saturates instead of overflowing for inputs that
// put the corner beyond the 32-bit range.
std::int32_t TruncateToInt32(double value) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (value <= lo) return std::numeric_limits<std::int32_t>::min();
    if (value >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::trunc(value));
}

// The generator and its seeding counter live for the whole process. Several files may be
// rendered at once, so they are locked.
std::mutex generatorMutex;
std::mt19937 generator;
std::uint32_t seedingCounter = 0;

std::uint32_t MillisecondsSinceStart() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Seeded afresh from the clock at every call; the counter keeps two seedings in the same
// millisecond apart, so repeated copies need not all land on one anchor.
PlacementMode DrawRandomAnchor() {
    std::lock_guard lock(generatorMutex);
    const std::uint32_t seed = MillisecondsSinceStart() + seedingCounter;
    seedingCounter += 100 + (seed & 0xFF);
    generator.seed(seed);
    return std::uniform_int_distribution<PlacementMode>(1, 9)(generator);
}

}  // namespace

void ComputePlacement(PlacementMode mode, std::int32_t canvasWidth, std::int32_t canvasHeight,
                      std::int32_t markWidth, std::int32_t markHeight, std::int32_t givenX,
                      std::int32_t givenY, std::int32_t& outX, std::int32_t& outY) {
    if (mode == PlacementRandom) mode = DrawRandomAnchor();
    const double W = canvasWidth, H = canvasHeight, w = markWidth, h = markHeight;
    const double left = 5, top = 5;
    const double centreX = W / 2 - w / 2, centreY = H / 2 - h / 2;
    const double right = W - w - 5, bottom = H - h - 5;
    double x = 10, y = 10;
    switch (mode) {
        case 0:
            outX = givenX;
            outY = givenY;
            return;
        case 1:
            x = left, y = top;
            break;
        case 2:
            x = centreX, y = top;
            break;
        case 3:
            x = right, y = top;
            break;
        case 4:
            x = right, y = centreY - 5;
            break;  // the right edge sits 5 higher than the left
        case 5:
            x = right, y = bottom;
            break;
        case 6:
            x = centreX, y = bottom;
            break;
        case 7:
            x = left, y = bottom;
            break;
        case 8:
            x = left, y = centreY;
            break;
        case 9:
            x = centreX, y = centreY;
            break;
        default:
            break;
    }
    outX = TruncateToInt32(x);
    outY = TruncateToInt32(y);
}

}  // namespace zx

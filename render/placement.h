#pragma once
// Where an image watermark's top-left corner goes on the canvas.

#include <cstdint>

namespace zx {

// 0 the given position, 1 to 9 the anchors clockwise from the top-left with 9 the centre,
// 10 a random anchor, anything else the corner (10, 10).
using PlacementMode = std::int32_t;

inline constexpr PlacementMode PlacementGiven = 0;
inline constexpr PlacementMode PlacementRandom = 10;

// Writes the corner for a w x h watermark on a W x H canvas to outX, outY. Inputs are not
// validated; the corner may lie off the canvas.
void ComputePlacement(PlacementMode mode, std::int32_t canvasWidth, std::int32_t canvasHeight,
                      std::int32_t markWidth, std::int32_t markHeight, std::int32_t givenX,
                      std::int32_t givenY, std::int32_t& outX, std::int32_t& outY);

}  // namespace zx

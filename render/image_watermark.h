#pragma once
// A watermark picture composited onto a source picture, returned as PNG bytes.

#include <cstdint>

#include "platform/bytes.h"
#include "render/placement.h"

namespace zx {

// The watermark is turned or mirrored (rotateFlip 0..7), scaled down to scalePercent (never
// enlarged), and drawn at the corner that ComputePlacement gives; mode 10 draws 1 + clamp(
// repetitions - 1, 0, 8) copies at random anchors. Empty result when the source does not
// decode; a watermark that does not decode leaves the source alone.
ByteBuffer RenderImageWatermark(const ByteBuffer& source, const ByteBuffer& watermark,
                                PlacementMode mode, std::int32_t x = 0, std::int32_t y = 0,
                                std::int32_t scalePercent = 100, std::int32_t repetitions = 0,
                                std::int32_t rotateFlip = 0);

// One side of the watermark scaled by p percent: (side / 100) * p in doubles, the next integer
// when the fraction exceeds 0.999999999999, then the floor. p is taken as given.
std::int32_t ScaleSide(std::int32_t side, std::int32_t percent);

}  // namespace zx

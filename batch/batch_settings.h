#pragma once
// The fixed values with which the window's run calls the renderers. The command-line front
// end starts from the same values, so the two cannot drift apart.

#include <cstdint>

#include "render/placement.h"

namespace zx::batch_settings {

inline constexpr char kFaceName[] = "宋体";
inline constexpr std::int32_t kEmSize = 100;
inline constexpr std::int32_t kColour = 0;  // 0x00BBGGRR: black
inline constexpr std::int32_t kStyle = 0;   // regular
inline constexpr std::int32_t kAlpha = 255;
inline constexpr std::int32_t kTextRenderingHint = 0;
inline constexpr std::int32_t kX = 100;
inline constexpr std::int32_t kY = 100;

inline constexpr PlacementMode kMode = PlacementGiven;
inline constexpr std::int32_t kScalePercent = 30;
inline constexpr std::int32_t kRepetitions = 1;
inline constexpr std::int32_t kRotateFlip = 0;

}  // namespace zx::batch_settings

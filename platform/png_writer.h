#pragma once
// Our PNG writer: 8-bit RGBA (colour type 6) always, an optional iCCP chunk, the image data
// compressed by libdeflate. Knows nothing of Qt: it reads rows of 32-bit pixels.

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"

namespace zx {

// Rows of 32-bit words 0xAARRGGBB in native byte order with straight (not premultiplied)
// alpha. With `opaque` the alpha byte is ignored and written as 255. A null `pixels` stands
// for an all-transparent picture of the given size.
struct PngPixels {
    const std::uint8_t* pixels = nullptr;
    std::ptrdiff_t strideBytes = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool opaque = false;
};

// Row filters as PNG numbers them, plus the per-row choice by the smallest sum of absolute
// differences.
enum class PngFilter { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4, Adaptive = 5 };

struct PngOptions {
    PngFilter filter = PngFilter::Up;
    int level = 3;  // libdeflate's compression level, 1 to 12
    // Worker threads for one picture; 0 means the processors this process may run on.
    int threads = 0;
    // Rows are compressed in stripes of about this many filtered bytes.
    std::size_t stripeBytes = std::size_t{2} << 20;
};

// The options the imaging layer uses, chosen by measurement on large photographs.
PngOptions DefaultPngOptions();

// Sets how many threads one encode may use from now on (0: one per available processor).
// Benchmarks set 1 to measure a single thread.
void SetPngEncoderThreads(int threads);

// Replaces `out` with a complete PNG file of the picture. A colour profile is written as iCCP
// only when it describes RGB data, the only kind that fits an RGBA file. False (and `out`
// empty) when the picture has no pixels, is larger than PNG allows, or memory runs out.
bool WritePng(const PngPixels& picture, const std::uint8_t* iccProfile, std::size_t iccSize,
              ByteBuffer& out, const PngOptions& options = DefaultPngOptions());

}  // namespace zx

#pragma once
// Picture bytes to image and back. Works in memory only and keeps no state between calls.

#include <cstdint>

#include "platform/bytes.h"
#include "platform/gdiplus.h"

namespace zx {

// A decoded picture; 0 means none. Whoever receives a non-zero handle disposes of it with
// GdipDisposeImage.
using ImageHandle = GpImage*;

// The picture in `bytes` (any format the platform reads), upright as its EXIF orientation
// says, with its colour profile; 0 when nothing could be decoded. The caller's buffer may
// be freed as soon as this returns.
ImageHandle DecodeImageBytes(const ByteBuffer& bytes);

// Width and height in pixels; 0 for a 0 handle or when the query fails.
std::int32_t ImageWidthOf(ImageHandle image);
std::int32_t ImageHeightOf(ImageHandle image);

// A PNG file of the image; empty when encoding failed or the handle is 0.
ByteBuffer EncodePngBytes(ImageHandle image);

// The reasons DescribeUndecodable gives; front ends show or translate them.
inline constexpr char kEmptyFile[] = "empty file";
inline constexpr char kNotAPicture[] = "not a picture";
inline constexpr char kDamagedPicture[] = "damaged picture";
inline constexpr char kPictureTooLarge[] = "too large";
inline constexpr char kImagingNotStarted[] = "imaging not started";
inline constexpr char kCannotEncode[] = "cannot encode";

// Why `bytes` give no picture, as one of the reasons above. Only meaningful after a decode
// (or a render) gave nothing.
const char* DescribeUndecodable(const ByteBuffer& bytes);

}  // namespace zx

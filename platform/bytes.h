#pragma once
// Value types that travel between every layer.

#include <cstdint>
#include <string>
#include <vector>

namespace zx {

// An owned sequence of bytes; may be empty. File contents, watermark pictures and
// encoded pictures travel as ByteBuffers.
using ByteBuffer = std::vector<std::uint8_t>;

// The system's narrow text: UTF-8, owned, possibly empty. Control texts, paths, face
// names and watermark texts are Utf8Text.
using Utf8Text = std::string;

}  // namespace zx

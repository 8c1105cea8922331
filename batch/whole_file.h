#pragma once
// Whole-file reading and writing.

#include <cstdint>

#include "platform/bytes.h"

namespace zx {

// Reasons that file operations give to callers that report them.
inline constexpr char kCannotRead[] = "cannot read";
inline constexpr char kTooLarge[] = "too large";
inline constexpr char kCannotWrite[] = "cannot write";

// Larger files are refused unread: no picture this tool handles comes near it, and reading
// one would only exhaust memory.
inline constexpr std::int64_t MaxWholeFileBytes = std::int64_t{1} << 30;

// The entire contents of the regular file at `path`; empty when the path is empty (nothing
// is touched), when the file is missing, not a regular file (a folder, a pipe, a device),
// unreadable, empty, above MaxWholeFileBytes, or when reading fails. A file that shrinks
// while it is read gives the bytes delivered.
ByteBuffer ReadWholeFile(const Utf8Text& path);

// The same; `reason` becomes kCannotRead or kTooLarge when the file could not be read, and
// "" when it was read (an empty file reads as no bytes with reason "").
ByteBuffer ReadWholeFile(const Utf8Text& path, Utf8Text& reason);

// Creates or truncates the file and writes `data` into it (none for empty data, leaving a
// file of 0 bytes). False for an empty path or when opening or writing fails. A failed write
// may leave a truncated file: outputs go through WriteFileSafely instead.
bool WriteWholeFile(const Utf8Text& path, const ByteBuffer& data);

struct WriteOutcome {
    bool written = false;
    Utf8Text reason;  // kCannotWrite when not written
};

// Writes `data` to a new temporary file beside `path`, flushes it to disk and renames it onto
// `path`, so `path` holds either its old contents or all of `data`, never a part. On any
// failure the temporary file is removed and an existing file at `path` stays as it was.
// Empty data is not written: an output of 0 bytes is never what a caller wants.
// Safe to call from any thread.
WriteOutcome WriteFileSafely(const Utf8Text& path, const ByteBuffer& data);

}  // namespace zx

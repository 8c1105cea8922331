#pragma once
// Our imaging layer. It keeps the names and contracts of the GDI+ flat functions that the
// renderers call, implemented over Qt's imaging classes:
//  - every output handle is set to 0 before the work starts, so a failed call leaves 0;
//  - a 0 handle given to a call makes it fail with a status and no effect;
//  - between GdiplusStartup and GdiplusShutdown calls work; outside a session every call
//    that would create, draw or encode fails with GdiplusNotInitialized and has no effect.
//    Dispose/Delete always release the handle's memory, so nothing leaks across a shutdown.
// Calls may be made from several threads at once as long as no handle is used by two
// threads at the same time.

#include <cstdint>
#include <memory>

#include "platform/bytes.h"

namespace zx {

enum GpStatus : std::int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
};

// Opaque handles. A bitmap is an image.
struct GpImage;
struct GpGraphics;
struct GpFontFamily;
struct GpFont;
struct GpBrush;
using GpBitmap = GpImage;

// A seekable in-memory stream over a private copy of bytes. A decoded image keeps its own
// reference, so whoever made the stream may release it at once.
class MemoryStream {
  public:
    MemoryStream() = default;
    explicit MemoryStream(ByteBuffer bytes) : bytes_(std::move(bytes)) {}
    const ByteBuffer& Bytes() const { return bytes_; }
    ByteBuffer& Bytes() { return bytes_; }
    // Hands the contents over and leaves the stream empty.
    ByteBuffer TakeBytes() { return std::move(bytes_); }

  private:
    ByteBuffer bytes_;
};
using StreamRef = std::shared_ptr<MemoryStream>;

struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    std::int32_t SuppressBackgroundThread = 0;
    std::int32_t SuppressExternalCodecs = 0;
};

struct RectF {
    float X;
    float Y;
    float Width;
    float Height;
};

// A 16-byte class identifier in the standard GUID byte order.
struct Clsid {
    std::uint8_t Bytes[16];
};

// {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder.
inline constexpr Clsid PngEncoderClsid{{0x06, 0xF4, 0x7C, 0x55, 0x04, 0x1A, 0xD3, 0x11, 0x9A, 0x73,
                                        0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

inline constexpr std::int32_t PixelFormat32bppARGB = 0x26200A;
inline constexpr std::int32_t UnitPixel = 2;

// Font styles, added together.
inline constexpr std::int32_t FontStyleRegular = 0;
inline constexpr std::int32_t FontStyleBold = 1;
inline constexpr std::int32_t FontStyleItalic = 2;
inline constexpr std::int32_t FontStyleUnderline = 4;
inline constexpr std::int32_t FontStyleStrikeout = 8;

// Text rendering hints; 1 and 2 draw without antialiasing, every other value antialiases.
inline constexpr std::int32_t TextRenderingHintSystemDefault = 0;
inline constexpr std::int32_t TextRenderingHintSingleBitPerPixelGridFit = 1;
inline constexpr std::int32_t TextRenderingHintSingleBitPerPixel = 2;

// Largest picture that decodes or can be made: 2^28 pixels (16384 x 16384).
inline constexpr std::int64_t MaxImagePixels = std::int64_t{1} << 28;

// Session.
GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(std::uintptr_t token);
bool GdiplusSessionOpen();

// Decoding: every format Qt reads (PNG, JPEG, GIF first frame, BMP, TIFF, WebP, ICO, TGA).
// EXIF orientation is applied, the ICC profile is kept with the image. Pictures above
// MaxImagePixels, or whose header claims more, give 0 with ValueOverflow; bytes in no known
// format give 0 with UnknownImageFormat; a known format that fails to decode gives 0 with
// GenericError.
GpStatus GdipCreateBitmapFromStream(const StreamRef& stream, GpBitmap** bitmap);
GpStatus GdipGetImageWidth(GpImage* image, std::uint32_t* width);
GpStatus GdipGetImageHeight(GpImage* image, std::uint32_t* height);
// A new blank bitmap (all pixels 0, transparent black) owning its pixels. Only stride 0,
// format PixelFormat32bppARGB and no pixel buffer are supported.
GpStatus GdipCreateBitmapFromScan0(std::int32_t width, std::int32_t height, std::int32_t stride,
                                   std::int32_t format, std::uint8_t* scan0, GpBitmap** bitmap);
GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, std::int32_t hint);
// Source over, through the image's own alpha; scaled with a good filter (area averaging when
// shrinking). Only unit pixel; attributes and callback must be null.
GpStatus GdipDrawImageRectRect(GpGraphics* graphics, GpImage* image, float dstx, float dsty,
                               float dstwidth, float dstheight, float srcx, float srcy,
                               float srcwidth, float srcheight, std::int32_t srcUnit,
                               const void* imageAttributes, void* callback, void* callbackData);
// A family of the given UTF-16 name (NUL-terminated); when none is installed, the
// substitution table's first installed substitute; otherwise 0 with FontFamilyNotFound.
GpStatus GdipCreateFontFamilyFromName(const char16_t* name, void* fontCollection,
                                      GpFontFamily** family);
// The family's name as installed, up to 31 UTF-16 units and a NUL; the language is ignored.
GpStatus GdipGetFamilyName(const GpFontFamily* family, char16_t name[32], std::uint16_t language);
GpStatus GdipCreateFont(const GpFontFamily* family, float emSize, std::int32_t style,
                        std::int32_t unit, GpFont** font);
GpStatus GdipCreateSolidFill(std::uint32_t argb, GpBrush** brush);
// Text from the layout rectangle's corner; a rectangle of zero size neither wraps nor clips.
// length -1: up to the terminating NUL.
GpStatus GdipDrawString(GpGraphics* graphics, const char16_t* text, std::int32_t length,
                        const GpFont* font, const RectF* layoutRect, const void* stringFormat,
                        const GpBrush* brush);
GpStatus GdipImageRotateFlip(GpImage* image, std::int32_t rotateFlipType);
// With PngEncoderClsid: the stream's contents are replaced by a PNG file (8-bit RGBA, iCCP
// when the image carries a profile). Any other encoder: UnknownImageFormat.
GpStatus GdipSaveImageToStream(GpImage* image, const StreamRef& stream, const Clsid* encoder,
                               const void* encoderParams);
GpStatus GdipDisposeImage(GpImage* image);
GpStatus GdipDeleteGraphics(GpGraphics* graphics);
GpStatus GdipDeleteFont(GpFont* font);
GpStatus GdipDeleteBrush(GpBrush* brush);
GpStatus GdipDeleteFontFamily(GpFontFamily* family);

}  // namespace zx

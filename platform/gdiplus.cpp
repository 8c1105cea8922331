#include "platform/gdiplus.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/png_writer.h"

// Handles are these structs; the header only declares them.
struct zx::GpImage {
    // Null while a blank canvas has not been drawn on: it is all transparent and needs no
    // memory until then. Otherwise RGB32 for pictures without alpha, else ARGB32 (straight
    // alpha, so a semi-transparent pixel keeps its exact colour).
    QImage pixels;
    int width = 0;
    int height = 0;
    // Nothing drawn yet: every pixel is transparent black.
    bool blank = false;
    QByteArray iccProfile;
};

struct zx::GpGraphics {
    GpImage* target = nullptr;
    std::int32_t textRenderingHint = 0;
};

struct zx::GpFontFamily {
    QString name;  // as the font database spells it
};

struct zx::GpFont {
    QString family;
    float emSize = 0;  // pixels
    std::int32_t style = 0;
};

struct zx::GpBrush {
    std::uint32_t argb = 0;
};

namespace zx {
namespace {

// ---- Session --------------------------------------------------------------------------------

std::mutex sessionMutex;
std::set<std::uintptr_t> openTokens;
std::uintptr_t lastToken = 0;

bool SessionOpen() {
    std::lock_guard lock(sessionMutex);
    return !openTokens.empty();
}

template <typename T>
bool PresetOutput(T** out) {
    if (out == nullptr) return false;
    *out = nullptr;
    return true;
}

bool Finite(float v) {
    return std::isfinite(v);
}

// ---- Pixels ---------------------------------------------------------------------------------

// Our working formats: RGB32 when the picture has no alpha channel, else straight ARGB32.
QImage ToWorkingFormat(QImage image) {
    const QImage::Format want =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != want) image.convertTo(want);
    return image;
}

// Makes sure the image's pixels exist and are its own, ready to be written.
bool MaterialisePixels(GpImage& image) {
    if (image.pixels.isNull()) {
        QImage canvas(image.width, image.height, QImage::Format_ARGB32);
        if (canvas.isNull()) return false;
        canvas.fill(0u);
        image.pixels = std::move(canvas);
    }
    // Detaches from a picture it shares pixels with, before anything is drawn.
    return image.pixels.bits() != nullptr;
}

inline std::uint8_t Channel(std::uint32_t v, int shift) {
    return static_cast<std::uint8_t>(v >> shift);
}

// Source over with straight alpha on both sides. A transparent source pixel leaves the
// destination as it is and an opaque one, or one over a transparent destination, replaces
// it exactly; only true mixes are computed.
inline std::uint32_t BlendOver(std::uint32_t src, std::uint32_t dst) {
    const std::uint32_t sa = src >> 24;
    if (sa == 0) return dst;
    const std::uint32_t da = dst >> 24;
    if (sa == 255 || da == 0) return src;
    const float fs = static_cast<float>(sa) / 255.0f;
    const float fd = static_cast<float>(da) / 255.0f * (1.0f - fs);
    const float fa = fs + fd;
    std::uint32_t out = static_cast<std::uint32_t>(std::lround(fa * 255.0f)) << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        const float c = (static_cast<float>(Channel(src, shift)) * fs +
                         static_cast<float>(Channel(dst, shift)) * fd) /
                        fa;
        out |= static_cast<std::uint32_t>(std::clamp(std::lround(c), 0L, 255L)) << shift;
    }
    return out;
}

// Draws `src` (RGB32 or straight ARGB32) with its top-left corner at (x, y) on `canvas`,
// cut at the canvas's edges.
void CompositeOnto(GpImage& canvas, const QImage& src, int x, int y) {
    const QRect area =
        QRect(x, y, src.width(), src.height()) & QRect(0, 0, canvas.width, canvas.height);
    if (area.isEmpty()) return;
    if (!MaterialisePixels(canvas)) return;
    const bool opaqueSource = src.format() == QImage::Format_RGB32;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        auto* d = reinterpret_cast<std::uint32_t*>(canvas.pixels.scanLine(row)) + area.left();
        const auto* s =
            reinterpret_cast<const std::uint32_t*>(src.constScanLine(row - y)) + (area.left() - x);
        if (opaqueSource) {
            for (int i = 0; i < area.width(); ++i) d[i] = s[i] | 0xFF000000u;
        } else {
            for (int i = 0; i < area.width(); ++i) d[i] = BlendOver(s[i], d[i]);
        }
    }
    canvas.blank = false;
}

// Rotate-flip types as GDI+ numbers them: the low two bits give clockwise quarter turns, 4
// adds a left-right mirror after the turn.
QImage TurnedImage(const QImage& in, int quarterTurns, bool mirror) {
    const int w = in.width(), h = in.height();
    const bool swap = (quarterTurns & 1) != 0;
    const int ow = swap ? h : w, oh = swap ? w : h;
    QImage out(ow, oh, in.format());
    if (out.isNull()) return out;
    for (int oy = 0; oy < oh; ++oy) {
        auto* d = reinterpret_cast<std::uint32_t*>(out.scanLine(oy));
        for (int ox = 0; ox < ow; ++ox) {
            const int tx = mirror ? ow - 1 - ox : ox;  // position before the mirror
            int sx = tx, sy = oy;
            switch (quarterTurns) {
                case 1:
                    sx = oy;
                    sy = h - 1 - tx;
                    break;
                case 2:
                    sx = w - 1 - tx;
                    sy = h - 1 - oy;
                    break;
                case 3:
                    sx = w - 1 - oy;
                    sy = tx;
                    break;
                default:
                    break;
            }
            d[ox] = reinterpret_cast<const std::uint32_t*>(in.constScanLine(sy))[sx];
        }
    }
    return out;
}

// ---- Decoding -------------------------------------------------------------------------------

// Qt's own cap (256 MB by default) would refuse large photographs; ours is the pixel count,
// and this only has to let the biggest such picture through in 16-bit channels.
constexpr int kAllocationLimitMb = static_cast<int>(MaxImagePixels * 8 / (1024 * 1024));

bool TooManyPixels(std::int64_t w, std::int64_t h) {
    return w > 0 && h > 0 && w * h > MaxImagePixels;
}

// Some of Qt's readers fill in whatever a cut-off file lacks and report success. These two
// are common enough as photos and screenshots to check that the file holds all its data.
std::uint32_t LittleEndian(const ByteBuffer& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

bool JpegHasItsEnd(const ByteBuffer& b) {
    // Walk the marker segments to the first scan; its end-of-image marker must follow it
    // (inside scan data a 0xFF byte is always followed by 0x00 or a restart marker).
    std::size_t at = 2;
    while (at + 4 <= b.size()) {
        if (b[at] != 0xFF) return false;
        const std::uint8_t marker = b[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA) {
            for (std::size_t i = at + 2; i + 1 < b.size(); ++i)
                if (b[i] == 0xFF && b[i + 1] == 0xD9) return true;
            return false;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        at += 2 + ((std::size_t{b[at + 2]} << 8) | b[at + 3]);
    }
    return false;
}

bool BmpHasItsPixels(const ByteBuffer& b) {
    if (b.size() < 26) return false;
    const std::uint32_t offset = LittleEndian(b, 10, 4);
    const std::uint32_t headerSize = LittleEndian(b, 14, 4);
    std::int64_t w = 0, h = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {
        w = LittleEndian(b, 18, 2);
        h = LittleEndian(b, 20, 2);
        bits = LittleEndian(b, 24, 2);
    } else if (headerSize >= 40 && b.size() >= 34) {
        w = static_cast<std::int32_t>(LittleEndian(b, 18, 4));
        h = static_cast<std::int32_t>(LittleEndian(b, 22, 4));
        bits = LittleEndian(b, 28, 2);
        compression = LittleEndian(b, 30, 4);
    } else {
        return true;  // a header we do not know; the reader decides
    }
    // Run-length and embedded formats have no fixed size.
    if ((compression != 0 && compression != 3) || w <= 0 || bits == 0 || bits > 32) return true;
    const std::int64_t rowBytes = (w * bits + 31) / 32 * 4;
    return std::int64_t{offset} + rowBytes * (h < 0 ? -h : h) <=
           static_cast<std::int64_t>(b.size());
}

bool GifHasFirstFrame(const ByteBuffer& b) {
    // Header and screen descriptor, the global colour table, then extensions up to the first
    // image, whose data sub-blocks must all be there.
    if (b.size() < 13) return false;
    std::size_t at = 13;
    if (b[10] & 0x80) at += 3 * (std::size_t{1} << ((b[10] & 7) + 1));
    const auto skipSubBlocks = [&b, &at] {
        for (;;) {
            if (at >= b.size()) return false;
            const std::size_t n = b[at++];
            if (n == 0) return true;
            at += n;
        }
    };
    while (at < b.size()) {
        if (b[at] == 0x21) {
            at += 2;
            if (!skipSubBlocks()) return false;
        } else if (b[at] == 0x2C) {
            if (at + 10 > b.size()) return false;
            const std::uint8_t flags = b[at + 9];
            at += 10;
            if (flags & 0x80) at += 3 * (std::size_t{1} << ((flags & 7) + 1));
            ++at;  // the LZW minimum code size
            return skipSubBlocks();
        } else {
            return false;
        }
    }
    return false;
}

bool LooksComplete(const QByteArray& format, const ByteBuffer& bytes) {
    if (format == "jpeg" || format == "jpg") return JpegHasItsEnd(bytes);
    if (format == "bmp") return BmpHasItsPixels(bytes);
    if (format == "gif") return GifHasFirstFrame(bytes);
    return true;
}

std::uint32_t BigEndian32(const ByteBuffer& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// The size that a PNG or BMP header claims; invalid for other formats.
QSize SizeFromHeader(const ByteBuffer& b) {
    static const std::uint8_t kPng[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (b.size() >= 24 && std::equal(kPng, kPng + 8, b.begin()) &&
        std::memcmp(b.data() + 12, "IHDR", 4) == 0) {
        const std::uint32_t w = BigEndian32(b, 16), h = BigEndian32(b, 20);
        if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return QSize(0x7FFFFFFF, 0x7FFFFFFF);
        return QSize(static_cast<int>(w), static_cast<int>(h));
    }
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M' && LittleEndian(b, 14, 4) >= 40) {
        const auto w = static_cast<std::int32_t>(LittleEndian(b, 18, 4));
        const auto h = static_cast<std::int32_t>(LittleEndian(b, 22, 4));
        if (w == INT32_MIN || h == INT32_MIN) return QSize(0x7FFFFFFF, 0x7FFFFFFF);
        return QSize(w < 0 ? -w : w, h < 0 ? -h : h);
    }
    return {};
}

// Type byte and depth of an uncompressed or run-length TGA header.
bool LooksLikeTga(const ByteBuffer& b) {
    if (b.size() < 18 || b[1] > 1) return false;
    const std::uint8_t type = b[2], depth = b[16];
    const bool knownType =
        type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    return knownType && knownDepth;
}

// One attempt with Qt's readers, by content or as the given format.
GpStatus ReadImage(const ByteBuffer& bytes, const QByteArray& forcedFormat, QImage& image) {
    // The reader works on the stream's bytes in place; it is done before we return.
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) return GenericError;
    QImageReader reader(&buffer, forcedFormat);
    reader.setDecideFormatFromContent(forcedFormat.isEmpty());
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kAllocationLimitMb);
    const QByteArray format = forcedFormat.isEmpty() ? reader.format() : forcedFormat;
    if (format.isEmpty() || !reader.canRead()) return UnknownImageFormat;

    // The header's size, before anything large is allocated.
    const QSize declared = reader.size();
    if (declared.isValid() && TooManyPixels(declared.width(), declared.height()))
        return ValueOverflow;
    if (!LooksComplete(format, bytes)) return GenericError;
    if (!reader.read(&image) || image.isNull()) return GenericError;
    if (TooManyPixels(image.width(), image.height())) return ValueOverflow;
    return Ok;
}

// ---- Fonts ----------------------------------------------------------------------------------

bool HaveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// A family of exactly this name as the database lists it (some carry a " [foundry]" suffix),
// ignoring case; empty when none is installed.
QString InstalledFamily(const QString& name) {
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (family.compare(name, Qt::CaseInsensitive) == 0) return family;
    }
    for (const QString& family : families) {
        const qsizetype bracket = family.indexOf(QLatin1String(" ["));
        if (bracket > 0 && family.left(bracket).compare(name, Qt::CaseInsensitive) == 0)
            return family;
    }
    return {};
}

// Faces that documents name but this system does not ship, and what stands in for them.
struct Substitution {
    const char16_t* name;
    const char* substitutes[2];
};
constexpr Substitution kSubstitutions[] = {
    {u"宋体", {"Noto Serif CJK SC", "AR PL UMing CN"}},
    {u"SimSun", {"Noto Serif CJK SC", "AR PL UMing CN"}},
};

QString ResolveFamily(const QString& name) {
    if (name.isEmpty()) return {};
    QString found = InstalledFamily(name);
    if (!found.isEmpty()) return found;
    for (const Substitution& s : kSubstitutions) {
        if (name.compare(QString::fromUtf16(s.name), Qt::CaseInsensitive) != 0) continue;
        for (const char* substitute : s.substitutes) {
            found = InstalledFamily(QString::fromUtf8(substitute));
            if (!found.isEmpty()) return found;
        }
    }
    return {};
}

}  // namespace

// ---- Session --------------------------------------------------------------------------------

GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output) {
    if (token == nullptr) return InvalidParameter;
    *token = 0;
    if (input == nullptr || output != nullptr) return InvalidParameter;
    if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
    std::lock_guard lock(sessionMutex);
    *token = ++lastToken;
    openTokens.insert(*token);
    return Ok;
}

void GdiplusShutdown(std::uintptr_t token) {
    std::lock_guard lock(sessionMutex);
    openTokens.erase(token);
}

bool GdiplusSessionOpen() {
    return SessionOpen();
}

// ---- Images ---------------------------------------------------------------------------------

GpStatus GdipCreateBitmapFromStream(const StreamRef& stream, GpBitmap** bitmap) {
    if (!PresetOutput(bitmap)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (!stream) return InvalidParameter;
    const ByteBuffer& bytes = stream->Bytes();
    if (bytes.empty()) return UnknownImageFormat;

    // Our own reading of the common headers first: Qt's readers refuse some absurd sizes with
    // a mere read error, and the status should say "too large".
    const QSize sniffed = SizeFromHeader(bytes);
    if (TooManyPixels(sniffed.width(), sniffed.height())) return ValueOverflow;

    QImage image;
    GpStatus status = ReadImage(bytes, QByteArray(), image);
    // TGA files have no signature and can look like a cursor to the content check.
    if (status != Ok && status != ValueOverflow && LooksLikeTga(bytes))
        status = ReadImage(bytes, "tga", image) == Ok ? Ok : status;
    if (status != Ok) return status;

    QByteArray icc = image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    image = ToWorkingFormat(std::move(image));
    if (image.isNull()) return OutOfMemory;

    auto* result = new (std::nothrow) GpImage;
    if (result == nullptr) return OutOfMemory;
    result->width = image.width();
    result->height = image.height();
    result->pixels = std::move(image);
    result->iccProfile = std::move(icc);
    *bitmap = result;
    return Ok;
}

GpStatus GdipGetImageWidth(GpImage* image, std::uint32_t* width) {
    if (width == nullptr || image == nullptr) return InvalidParameter;
    *width = static_cast<std::uint32_t>(image->width);
    return Ok;
}

GpStatus GdipGetImageHeight(GpImage* image, std::uint32_t* height) {
    if (height == nullptr || image == nullptr) return InvalidParameter;
    *height = static_cast<std::uint32_t>(image->height);
    return Ok;
}

GpStatus GdipCreateBitmapFromScan0(std::int32_t width, std::int32_t height, std::int32_t stride,
                                   std::int32_t format, std::uint8_t* scan0, GpBitmap** bitmap) {
    if (!PresetOutput(bitmap)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (width <= 0 || height <= 0) return InvalidParameter;
    if (stride != 0 || scan0 != nullptr || format != PixelFormat32bppARGB) return InvalidParameter;
    if (TooManyPixels(width, height)) return ValueOverflow;
    auto* result = new (std::nothrow) GpImage;
    if (result == nullptr) return OutOfMemory;
    result->width = width;
    result->height = height;
    result->blank = true;
    *bitmap = result;
    return Ok;
}

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
    if (!PresetOutput(graphics)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (image == nullptr) return InvalidParameter;
    auto* result = new (std::nothrow) GpGraphics;
    if (result == nullptr) return OutOfMemory;
    result->target = image;
    *graphics = result;
    return Ok;
}

GpStatus GdipSetTextRenderingHint(GpGraphics* graphics, std::int32_t hint) {
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (graphics == nullptr || hint < 0 || hint > 5) return InvalidParameter;
    graphics->textRenderingHint = hint;
    return Ok;
}

GpStatus GdipDrawImageRectRect(GpGraphics* graphics, GpImage* image, float dstx, float dsty,
                               float dstwidth, float dstheight, float srcx, float srcy,
                               float srcwidth, float srcheight, std::int32_t srcUnit,
                               const void* imageAttributes, void* callback, void* callbackData) {
    (void)callbackData;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (graphics == nullptr || image == nullptr) return InvalidParameter;
    if (srcUnit != UnitPixel) return InvalidParameter;
    if (imageAttributes != nullptr || callback != nullptr) return NotImplemented;
    for (float v : {dstx, dsty, dstwidth, dstheight, srcx, srcy, srcwidth, srcheight})
        if (!Finite(v) || std::fabs(v) > 1e9f) return InvalidParameter;

    GpImage& canvas = *graphics->target;
    // Whole pixels: the renderers only pass integers.
    const long dx = std::lround(dstx), dy = std::lround(dsty);
    const long dw = std::lround(dstx + dstwidth) - dx, dh = std::lround(dsty + dstheight) - dy;
    const QRect source =
        QRect(static_cast<int>(std::lround(srcx)), static_cast<int>(std::lround(srcy)),
              static_cast<int>(std::lround(srcwidth)), static_cast<int>(std::lround(srcheight))) &
        QRect(0, 0, image->width, image->height);
    if (dw <= 0 || dh <= 0 || source.isEmpty()) return Ok;  // nothing to draw
    if (dx >= canvas.width || dy >= canvas.height || dx + dw <= 0 || dy + dh <= 0) return Ok;
    if (TooManyPixels(dw, dh)) return ValueOverflow;

    const bool wholeSource = source == QRect(0, 0, image->width, image->height);
    const bool fillsCanvas = dx == 0 && dy == 0 && dw == canvas.width && dh == canvas.height;
    if (fillsCanvas && canvas.blank) {
        // The picture becomes the canvas's picture, profile included.
        canvas.iccProfile = image->iccProfile;
        if (wholeSource && image->width == canvas.width && image->height == canvas.height &&
            image != &canvas) {
            // Over a transparent canvas source-over gives the source itself: share its
            // pixels instead of copying them (a blank source stays blank).
            canvas.pixels = image->pixels;
            canvas.blank = image->blank;
            return Ok;
        }
    }

    if (image->pixels.isNull()) return Ok;  // a blank source draws nothing
    QImage piece = wholeSource ? image->pixels : image->pixels.copy(source);
    if (piece.isNull()) return OutOfMemory;
    if (piece.width() != dw || piece.height() != dh) {
        // Qt's smooth scaling averages areas when it shrinks; it hands back premultiplied
        // pixels, which go back to straight alpha for the blend.
        piece = piece.scaled(static_cast<int>(dw), static_cast<int>(dh), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
        if (piece.isNull()) return OutOfMemory;
        piece = ToWorkingFormat(std::move(piece));
        if (piece.isNull()) return OutOfMemory;
    }
    if (!MaterialisePixels(canvas)) return OutOfMemory;
    CompositeOnto(canvas, piece, static_cast<int>(dx), static_cast<int>(dy));
    return Ok;
}

GpStatus GdipImageRotateFlip(GpImage* image, std::int32_t rotateFlipType) {
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (image == nullptr || rotateFlipType < 0 || rotateFlipType > 7) return InvalidParameter;
    const int quarterTurns = rotateFlipType & 3;
    const bool mirror = (rotateFlipType & 4) != 0;
    if (quarterTurns == 0 && !mirror) return Ok;
    if (!image->pixels.isNull()) {
        QImage turned = TurnedImage(image->pixels, quarterTurns, mirror);
        if (turned.isNull()) return OutOfMemory;
        image->pixels = std::move(turned);
    }
    if (quarterTurns & 1) std::swap(image->width, image->height);
    return Ok;
}

// ---- Text -----------------------------------------------------------------------------------

GpStatus GdipCreateFontFamilyFromName(const char16_t* name, void* fontCollection,
                                      GpFontFamily** family) {
    if (!PresetOutput(family)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (name == nullptr || fontCollection != nullptr) return InvalidParameter;
    if (!HaveGuiApplication()) return GenericError;
    const QString resolved = ResolveFamily(QString::fromUtf16(name));
    if (resolved.isEmpty()) return FontFamilyNotFound;
    auto* result = new (std::nothrow) GpFontFamily;
    if (result == nullptr) return OutOfMemory;
    result->name = resolved;
    *family = result;
    return Ok;
}

GpStatus GdipGetFamilyName(const GpFontFamily* family, char16_t name[32], std::uint16_t language) {
    (void)language;
    if (family == nullptr || name == nullptr) return InvalidParameter;
    const qsizetype n = std::min<qsizetype>(family->name.size(), 31);
    std::memcpy(name, family->name.utf16(), static_cast<std::size_t>(n) * sizeof(char16_t));
    name[n] = 0;
    return Ok;
}

GpStatus GdipCreateFont(const GpFontFamily* family, float emSize, std::int32_t style,
                        std::int32_t unit, GpFont** font) {
    if (!PresetOutput(font)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (family == nullptr || !Finite(emSize) || emSize <= 0 || emSize > 1e5f)
        return InvalidParameter;
    if (style < 0 || style > 15 || unit != UnitPixel) return InvalidParameter;
    auto* result = new (std::nothrow) GpFont;
    if (result == nullptr) return OutOfMemory;
    result->family = family->name;
    result->emSize = emSize;
    result->style = style;
    *font = result;
    return Ok;
}

GpStatus GdipCreateSolidFill(std::uint32_t argb, GpBrush** brush) {
    if (!PresetOutput(brush)) return InvalidParameter;
    if (!SessionOpen()) return GdiplusNotInitialized;
    auto* result = new (std::nothrow) GpBrush;
    if (result == nullptr) return OutOfMemory;
    result->argb = argb;
    *brush = result;
    return Ok;
}

GpStatus GdipDrawString(GpGraphics* graphics, const char16_t* text, std::int32_t length,
                        const GpFont* font, const RectF* layoutRect, const void* stringFormat,
                        const GpBrush* brush) {
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (graphics == nullptr || text == nullptr || font == nullptr || layoutRect == nullptr ||
        brush == nullptr || length < -1)
        return InvalidParameter;
    if (stringFormat != nullptr) return NotImplemented;
    const RectF& box = *layoutRect;
    for (float v : {box.X, box.Y, box.Width, box.Height})
        if (!Finite(v) || std::fabs(v) > 1e9f) return InvalidParameter;
    if (!HaveGuiApplication()) return GenericError;

    std::size_t units = 0;
    if (length == -1) {
        while (text[units] != 0) ++units;
    } else {
        units = static_cast<std::size_t>(length);
    }
    const QString string = QString::fromUtf16(text, static_cast<qsizetype>(units));
    GpImage& canvas = *graphics->target;
    if (string.isEmpty() || (brush->argb >> 24) == 0) return Ok;

    const bool antialias =
        graphics->textRenderingHint != TextRenderingHintSingleBitPerPixelGridFit &&
        graphics->textRenderingHint != TextRenderingHintSingleBitPerPixel;
    QFont qfont(font->family);
    qfont.setFamilies({font->family});
    // At 72 dots per inch a point is a pixel, so fractional em sizes are kept exactly.
    qfont.setPointSizeF(font->emSize);
    qfont.setBold((font->style & FontStyleBold) != 0);
    qfont.setItalic((font->style & FontStyleItalic) != 0);
    qfont.setUnderline((font->style & FontStyleUnderline) != 0);
    qfont.setStrikeOut((font->style & FontStyleStrikeout) != 0);
    qfont.setStyleStrategy(antialias ? QFont::PreferAntialias : QFont::NoAntialias);

    // A box of zero width neither wraps nor clips sideways; of zero height, not downwards.
    const bool wrap = box.Width > 0;
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs;
    if (wrap) flags |= Qt::TextWordWrap;
    const QRectF layout(box.X, box.Y, wrap ? box.Width : 0.0, box.Height > 0 ? box.Height : 0.0);

    // The text's coverage is drawn into a mask over the part of the canvas it can reach, then
    // blended in the brush's colour; pixels it does not cover stay exactly as they were.
    QImage probe(1, 1, QImage::Format_Alpha8);
    probe.setDotsPerMeterX(2835);
    probe.setDotsPerMeterY(2835);
    QRectF extent;
    {
        QPainter painter(&probe);
        painter.setFont(qfont);
        extent = painter.boundingRect(layout, flags | Qt::TextDontClip, string);
    }
    const double pad = std::ceil(font->emSize) + 2.0;
    QRectF reach = extent.adjusted(-pad, -pad, pad, pad);
    if (wrap) {
        reach.setLeft(box.X);
        reach.setRight(box.X + box.Width);
    }
    if (box.Height > 0) {
        reach.setTop(box.Y);
        reach.setBottom(box.Y + box.Height);
    }
    const QRect area = reach.toAlignedRect() & QRect(0, 0, canvas.width, canvas.height);
    if (area.isEmpty()) return Ok;

    QImage mask(area.size(), QImage::Format_Alpha8);
    if (mask.isNull()) return OutOfMemory;
    mask.fill(0u);
    mask.setDotsPerMeterX(2835);
    mask.setDotsPerMeterY(2835);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::TextAntialiasing, antialias);
        painter.setRenderHint(QPainter::Antialiasing, antialias);
        painter.translate(-area.left(), -area.top());
        if (wrap || box.Height > 0) painter.setClipRect(reach);
        painter.setFont(qfont);
        painter.setPen(QColor(0, 0, 0, 255));
        painter.drawText(layout, flags | Qt::TextDontClip, string);
    }

    if (!MaterialisePixels(canvas)) return OutOfMemory;
    const std::uint32_t colour = brush->argb & 0x00FFFFFFu;
    const std::uint32_t alpha = brush->argb >> 24;
    for (int row = 0; row < area.height(); ++row) {
        const std::uint8_t* coverage = mask.constScanLine(row);
        auto* d = reinterpret_cast<std::uint32_t*>(canvas.pixels.scanLine(area.top() + row)) +
                  area.left();
        for (int i = 0; i < area.width(); ++i) {
            if (coverage[i] == 0) continue;
            const std::uint32_t a = (alpha * coverage[i] + 127) / 255;
            d[i] = BlendOver((a << 24) | colour, d[i]);
        }
    }
    canvas.blank = false;
    return Ok;
}

// ---- Encoding -------------------------------------------------------------------------------

GpStatus GdipSaveImageToStream(GpImage* image, const StreamRef& stream, const Clsid* encoder,
                               const void* encoderParams) {
    if (!SessionOpen()) return GdiplusNotInitialized;
    if (image == nullptr || !stream || encoder == nullptr) return InvalidParameter;
    if (encoderParams != nullptr) return NotImplemented;
    if (std::memcmp(encoder->Bytes, PngEncoderClsid.Bytes, sizeof encoder->Bytes) != 0)
        return UnknownImageFormat;

    PngPixels picture;
    picture.width = static_cast<std::uint32_t>(image->width);
    picture.height = static_cast<std::uint32_t>(image->height);
    if (!image->pixels.isNull()) {
        picture.pixels = image->pixels.constBits();
        picture.strideBytes = image->pixels.bytesPerLine();
        picture.opaque = image->pixels.format() == QImage::Format_RGB32;
    }
    ByteBuffer png;
    if (!WritePng(picture, reinterpret_cast<const std::uint8_t*>(image->iccProfile.constData()),
                  static_cast<std::size_t>(image->iccProfile.size()), png))
        return OutOfMemory;
    stream->Bytes() = std::move(png);
    return Ok;
}

// ---- Release --------------------------------------------------------------------------------

GpStatus GdipDisposeImage(GpImage* image) {
    if (image == nullptr) return InvalidParameter;
    delete image;
    return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
    if (graphics == nullptr) return InvalidParameter;
    delete graphics;
    return Ok;
}

GpStatus GdipDeleteFont(GpFont* font) {
    if (font == nullptr) return InvalidParameter;
    delete font;
    return Ok;
}

GpStatus GdipDeleteBrush(GpBrush* brush) {
    if (brush == nullptr) return InvalidParameter;
    delete brush;
    return Ok;
}

GpStatus GdipDeleteFontFamily(GpFontFamily* family) {
    if (family == nullptr) return InvalidParameter;
    delete family;
    return Ok;
}

}  // namespace zx

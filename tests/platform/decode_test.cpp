// Decoding: every format Qt reads, upright by EXIF, profile kept, size limits checked from the
// header before anything large is allocated, and bad bytes refused with the right status.

#include <QColorSpace>
#include <QImage>

#include <libdeflate.h>

#include <cstring>

#include "test_support.h"

namespace zx::test {
namespace {

using Decoding = SessionTest;

// Made with Pillow: a 3x2 GIF of two frames, the first red, green, blue / yellow, cyan,
// magenta, the second all black.
const std::uint8_t kTwoFrameGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0x82, 0x00, 0x00, 0xff, 0xff, 0x00,
    0x00, 0xff, 0xff, 0x00, 0xff, 0x00, 0xff, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xff, 0x0b, 0x4e, 0x45, 0x54, 0x53, 0x43, 0x41, 0x50, 0x45,
    0x32, 0x2e, 0x30, 0x03, 0x01, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00,
    0x2c, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x08, 0x09, 0x00, 0x09, 0x08, 0x28,
    0x00, 0x20, 0xc0, 0x80, 0x80, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x2c, 0x00,
    0x00, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x81, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x08, 0x06, 0x00, 0x01, 0x08, 0x1c, 0x18, 0x10, 0x00, 0x3b};

// Made with Pillow: a 3x2 TGA with alpha, stored bottom-up: red, half-transparent green,
// transparent blue / yellow, cyan, quarter-opaque magenta.
const std::uint8_t kAlphaTga[] = {
    0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00,
    0x02, 0x00, 0x20, 0x08, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0xff, 0xff, 0x00,
    0xff, 0x40, 0x00, 0x00, 0xff, 0xff, 0x00, 0xff, 0x00, 0x80, 0xff, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x54, 0x52, 0x55, 0x45, 0x56, 0x49,
    0x53, 0x49, 0x4f, 0x4e, 0x2d, 0x58, 0x46, 0x49, 0x4c, 0x45, 0x2e, 0x00};

ByteBuffer Bytes(const std::uint8_t* data, std::size_t size) {
    return ByteBuffer(data, data + size);
}

int ChannelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

TEST_F(Decoding, EveryFormatQtReads) {
    const QImage opaque = Gradient(13, 7, false);
    const QImage alpha = Gradient(13, 7, true);
    struct Case {
        const char* name;
        ByteBuffer bytes;
        QImage expected;
        int tolerance;  // per channel; lossy formats only
        // These writers keep colours only as far as alpha shows them (premultiplied or
        // dropped under alpha 0), so only the premultiplied values can be compared.
        bool premultipliedOnly;
    };
    const Case cases[] = {
        {"png opaque", WriteWithQt(opaque, "png"), opaque, 0, false},
        {"png alpha", WriteWithQt(alpha, "png"), alpha, 0, false},
        {"jpeg", WriteWithQt(opaque, "jpeg", 100), opaque, 12, false},
        {"bmp", WriteWithQt(opaque, "bmp"), opaque, 0, false},
        {"tiff opaque", WriteWithQt(opaque, "tiff"), opaque, 0, false},
        {"tiff alpha", WriteWithQt(alpha, "tiff"), alpha, 1, true},
        {"webp lossless", WriteWithQt(alpha, "webp", 100), alpha, 1, true},
        {"ico", WriteWithQt(alpha, "ico"), alpha, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        Decoded d = Decode(c.bytes);
        ASSERT_EQ(d.status, Ok);
        ASSERT_NE(d.image, nullptr);
        EXPECT_EQ(Width(d.image), 13u);
        EXPECT_EQ(Height(d.image), 7u);
        const QImage pixels = PixelsOf(d.image);
        ASSERT_EQ(pixels.size(), QSize(13, 7));
        int worst = 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                worst = std::max(worst,
                                 c.premultipliedOnly
                                     ? ChannelDistance(qPremultiply(pixels.pixel(x, y)),
                                                       qPremultiply(c.expected.pixel(x, y)))
                                     : ChannelDistance(pixels.pixel(x, y), c.expected.pixel(x, y)));
        EXPECT_LE(worst, c.tolerance);
        GdipDisposeImage(d.image);
    }
}

TEST_F(Decoding, GifGivesItsFirstFrame) {
    Decoded d = Decode(Bytes(kTwoFrameGif, sizeof kTwoFrameGif));
    ASSERT_EQ(d.status, Ok);
    const QImage pixels = PixelsOf(d.image);
    ASSERT_EQ(pixels.size(), QSize(3, 2));
    EXPECT_EQ(pixels.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(pixels.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(pixels.pixel(2, 1), qRgb(255, 0, 255));
    GdipDisposeImage(d.image);
}

TEST_F(Decoding, TgaKeepsStraightAlphaExactly) {
    Decoded d = Decode(Bytes(kAlphaTga, sizeof kAlphaTga));
    ASSERT_EQ(d.status, Ok);
    const QImage pixels = PixelsOf(d.image);
    ASSERT_EQ(pixels.size(), QSize(3, 2));
    EXPECT_EQ(pixels.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(pixels.pixel(1, 0), qRgba(0, 255, 0, 128));
    EXPECT_EQ(pixels.pixel(2, 1), qRgba(255, 0, 255, 64));
    GdipDisposeImage(d.image);
}

// A JPEG with an EXIF block whose orientation tag says how to turn it for display.
ByteBuffer JpegWithOrientation(const QImage& stored, std::uint16_t orientation) {
    ByteBuffer jpeg = WriteWithQt(stored, "jpeg", 100);
    const std::uint8_t exif[] = {0xFF,
                                 0xE1,
                                 0x00,
                                 34,  // APP1, length 34
                                 'E',
                                 'x',
                                 'i',
                                 'f',
                                 0,
                                 0,  // EXIF header
                                 'I',
                                 'I',
                                 0x2A,
                                 0x00,
                                 8,
                                 0,
                                 0,
                                 0,  // little-endian TIFF, first IFD at 8
                                 1,
                                 0,  // one entry
                                 0x12,
                                 0x01,
                                 3,
                                 0,
                                 1,
                                 0,
                                 0,
                                 0,  // orientation, SHORT, count 1
                                 static_cast<std::uint8_t>(orientation),
                                 0,
                                 0,
                                 0,  // its value
                                 0,
                                 0,
                                 0,
                                 0};  // no next IFD
    jpeg.insert(jpeg.begin() + 2, exif, exif + sizeof exif);
    return jpeg;
}

TEST_F(Decoding, ExifOrientationIsApplied) {
    // Stored 16 x 8 in four quadrants: red, green / blue, white.
    QImage stored(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            stored.setPixel(x, y,
                            y < 4 ? (x < 8 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                  : (x < 8 ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    struct Case {
        std::uint16_t orientation;
        QSize size;
        // Expected colours of the top-left, top-right, bottom-left and bottom-right parts.
        QRgb corners[4];
    };
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
               white = qRgb(255, 255, 255);
    const Case cases[] = {
        {1, {16, 8}, {red, green, blue, white}},
        {3, {16, 8}, {white, blue, green, red}},  // upside down
        {6, {8, 16}, {blue, red, white, green}},  // turned a quarter clockwise for display
        {8, {8, 16}, {green, white, red, blue}},  // a quarter anticlockwise
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation);
        Decoded d = Decode(JpegWithOrientation(stored, c.orientation));
        ASSERT_EQ(d.status, Ok);
        EXPECT_EQ(Width(d.image), static_cast<std::uint32_t>(c.size.width()));
        EXPECT_EQ(Height(d.image), static_cast<std::uint32_t>(c.size.height()));
        const QImage pixels = PixelsOf(d.image);
        ASSERT_EQ(pixels.size(), c.size);
        const int w = c.size.width(), h = c.size.height();
        const QPoint probes[4] = {{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}};
        for (int i = 0; i < 4; ++i)
            EXPECT_LE(ChannelDistance(pixels.pixel(probes[i]), c.corners[i]), 40) << "corner " << i;
        GdipDisposeImage(d.image);
    }
}

QByteArray Inflate(const QByteArray& zlib, std::size_t expected) {
    QByteArray out(static_cast<qsizetype>(expected), '\0');
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t actual = 0;
    const auto result =
        libdeflate_zlib_decompress(d, zlib.constData(), zlib.size(), out.data(), expected, &actual);
    libdeflate_free_decompressor(d);
    if (result != LIBDEFLATE_SUCCESS) return {};
    out.resize(static_cast<qsizetype>(actual));
    return out;
}

// The profile carried in a PNG's iCCP chunk; empty when there is none.
QByteArray ProfileInPng(const ByteBuffer& png) {
    for (const Chunk& c : ChunksOf(png)) {
        if (c.type != "iCCP") continue;
        const qsizetype nameEnd = c.data.indexOf('\0');
        if (nameEnd < 1 || nameEnd > 79 || c.data.size() < nameEnd + 2) return {};
        if (c.data[nameEnd + 1] != 0) return {};  // compression method 0
        return Inflate(c.data.mid(nameEnd + 2), 1 << 20);
    }
    return {};
}

TEST_F(Decoding, ColourProfileGoesThroughToTheOutput) {
    QImage tagged = Gradient(9, 5, false);
    tagged.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QByteArray profile = tagged.colorSpace().iccProfile();
    ASSERT_FALSE(profile.isEmpty());
    struct Case {
        const char* name;
        ByteBuffer bytes;
    };
    const Case cases[] = {
        {"png", WriteWithQt(tagged, "png")},
        {"jpeg", WriteWithQt(tagged, "jpeg")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = Decode(c.bytes);
        ASSERT_EQ(d.status, Ok);
        // Through a canvas, as the renderers do it.
        GpBitmap* canvas = nullptr;
        ASSERT_EQ(GdipCreateBitmapFromScan0(9, 5, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
        GpGraphics* g = nullptr;
        ASSERT_EQ(GdipGetImageGraphicsContext(canvas, &g), Ok);
        ASSERT_EQ(GdipDrawImageRectRect(g, d.image, 0, 0, 9, 5, 0, 0, 9, 5, UnitPixel, nullptr,
                                        nullptr, nullptr),
                  Ok);
        GdipDisposeImage(d.image);
        const ByteBuffer png = EncodePng(canvas);
        EXPECT_EQ(ProfileInPng(png), profile);
        ASSERT_EQ(ChunksOf(png).size(), 5u);
        EXPECT_EQ(ChunksOf(png)[1].type, "iCCP");  // before the image data
        GdipDeleteGraphics(g);
        GdipDisposeImage(canvas);
    }
    // Without a profile there is no iCCP chunk.
    Decoded plain = Decode(WriteWithQt(Gradient(9, 5, false), "png"));
    ASSERT_EQ(plain.status, Ok);
    EXPECT_TRUE(ProfileInPng(EncodePng(plain.image)).isEmpty());
    for (const Chunk& c : ChunksOf(EncodePng(plain.image))) EXPECT_NE(c.type, "iCCP");
    GdipDisposeImage(plain.image);
}

void PutBigEndian32(ByteBuffer& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 24);
    b[at + 1] = static_cast<std::uint8_t>(v >> 16);
    b[at + 2] = static_cast<std::uint8_t>(v >> 8);
    b[at + 3] = static_cast<std::uint8_t>(v);
}

// A small real PNG whose header now claims another size (with a correct CRC).
ByteBuffer PngClaiming(std::uint32_t w, std::uint32_t h) {
    ByteBuffer png = WriteWithQt(Gradient(4, 4, true), "png");
    PutBigEndian32(png, 16, w);
    PutBigEndian32(png, 20, h);
    PutBigEndian32(png, 29, libdeflate_crc32(0, png.data() + 12, 17));
    return png;
}

ByteBuffer JpegClaiming(std::uint16_t w, std::uint16_t h) {
    ByteBuffer jpeg = WriteWithQt(Gradient(8, 8, false), "jpeg");
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // start of frame: height, then width
            jpeg[i + 5] = static_cast<std::uint8_t>(h >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(h);
            jpeg[i + 7] = static_cast<std::uint8_t>(w >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(w);
            return jpeg;
        }
    }
    return {};
}

ByteBuffer BmpClaiming(std::int32_t w, std::int32_t h) {
    ByteBuffer bmp = WriteWithQt(Gradient(4, 4, false), "bmp");
    std::memcpy(bmp.data() + 18, &w, 4);  // little-endian on this machine, as BMP wants
    std::memcpy(bmp.data() + 22, &h, 4);
    return bmp;
}

ByteBuffer GifClaiming(std::uint16_t w, std::uint16_t h) {
    ByteBuffer gif = Bytes(kTwoFrameGif, sizeof kTwoFrameGif);
    for (std::size_t at : {std::size_t{6}, std::size_t{69}}) {  // screen, first image
        gif[at] = static_cast<std::uint8_t>(w);
        gif[at + 1] = static_cast<std::uint8_t>(w >> 8);
        gif[at + 2] = static_cast<std::uint8_t>(h);
        gif[at + 3] = static_cast<std::uint8_t>(h >> 8);
    }
    return gif;
}

TEST_F(Decoding, HugeClaimsAreRefusedFromTheHeader) {
    struct Case {
        const char* name;
        ByteBuffer bytes;
    };
    const Case cases[] = {
        {"png 100000 x 100000", PngClaiming(100000, 100000)},
        {"png 16385 x 16384", PngClaiming(16385, 16384)},
        {"png 2^31-1 x 2^31-1", PngClaiming(0x7FFFFFFF, 0x7FFFFFFF)},
        {"jpeg 60000 x 60000", JpegClaiming(60000, 60000)},
        {"bmp 20000 x 20000", BmpClaiming(20000, 20000)},
        {"gif 30000 x 30000", GifClaiming(30000, 30000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        ASSERT_LT(c.bytes.size(), 4096u);  // a few KB that claim gigabytes
        Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.status, ValueOverflow);
        EXPECT_EQ(d.image, nullptr);
    }
}

TEST_F(Decoding, LargestSizeWithTooLittleDataFailsCleanly) {
    // 16384 x 16384 is allowed, but these few bytes cannot fill it.
    Decoded d = Decode(PngClaiming(16384, 16384));
    EXPECT_EQ(d.status, GenericError);
    EXPECT_EQ(d.image, nullptr);
}

ByteBuffer Truncated(ByteBuffer bytes, double keep) {
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * keep));
    return bytes;
}

TEST_F(Decoding, BadBytesAreRefused) {
    const QImage picture = Gradient(40, 30, true);
    const std::string text(500, 'x');
    struct Case {
        const char* name;
        ByteBuffer bytes;
        GpStatus status;
    };
    const Case cases[] = {
        {"empty", {}, UnknownImageFormat},
        {"text", ByteBuffer(text.begin(), text.end()), UnknownImageFormat},
        {"png signature only", ByteBuffer{137, 80, 78, 71, 13, 10, 26, 10}, GenericError},
        {"png cut in half", Truncated(WriteWithQt(picture, "png"), 0.5), GenericError},
        {"jpeg cut in half", Truncated(WriteWithQt(picture, "jpeg"), 0.5), GenericError},
        {"jpeg without its end", Truncated(WriteWithQt(picture, "jpeg"), 0.97), GenericError},
        {"bmp cut in half", Truncated(WriteWithQt(picture, "bmp"), 0.5), GenericError},
        {"tiff cut in half", Truncated(WriteWithQt(picture, "tiff"), 0.5), GenericError},
        {"webp cut in half", Truncated(WriteWithQt(picture, "webp"), 0.5), GenericError},
        {"gif cut in half", Truncated(Bytes(kTwoFrameGif, sizeof kTwoFrameGif), 0.5), GenericError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = Decode(c.bytes);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.image, nullptr);
    }
    // No stream at all.
    GpBitmap* image = reinterpret_cast<GpBitmap*>(0x1);
    EXPECT_EQ(GdipCreateBitmapFromStream(nullptr, &image), InvalidParameter);
    EXPECT_EQ(image, nullptr);
}

TEST_F(Decoding, EveryPrefixOfAFileIsHandled) {
    // Cut anywhere, a file decodes or fails with a status; never a crash.
    for (const char* format : {"png", "jpeg", "bmp", "gif", "webp", "tiff"}) {
        SCOPED_TRACE(format);
        const bool gif = std::string(format) == "gif";
        const ByteBuffer whole = gif ? Bytes(kTwoFrameGif, sizeof kTwoFrameGif)
                                     : WriteWithQt(Gradient(6, 5, true), format);
        ASSERT_FALSE(whole.empty());
        // All that is needed is there once a GIF's first frame is complete (86 bytes) and a
        // PNG lacks only its end chunk; any shorter prefix is a damaged picture.
        const std::size_t complete = gif                            ? 86
                                     : std::string(format) == "png" ? whole.size() - 12
                                                                    : whole.size();
        for (std::size_t n = 0; n < whole.size(); ++n) {
            Decoded d = Decode(ByteBuffer(whole.begin(), whole.begin() + n));
            if (n < complete) {
                EXPECT_NE(d.status, Ok) << "cut at " << n;
            } else if (d.status == Ok) {
                EXPECT_EQ(Width(d.image), gif ? 3u : 6u);
            }
            GdipDisposeImage(d.image);
        }
    }
}

TEST_F(Decoding, TheCallersBufferMayGoAtOnce) {
    GpBitmap* image = nullptr;
    {
        auto stream = std::make_shared<MemoryStream>(WriteWithQt(Gradient(5, 3, true), "png"));
        ASSERT_EQ(GdipCreateBitmapFromStream(stream, &image), Ok);
        stream->Bytes().assign(stream->Bytes().size(), 0);  // overwritten, then released
    }
    EXPECT_EQ(PixelsOf(image), Gradient(5, 3, true));
    GdipDisposeImage(image);
}

}  // namespace
}  // namespace zx::test

// Our PNG writer, checked with independent readers: Qt's PNG reader (libpng) for the pixels
// and libdeflate's decompressor for the zlib stream with its checksum.

#include <QImage>

#include <libdeflate.h>

#include <random>

#include "platform/png_writer.h"
#include "test_support.h"

namespace zx::test {
namespace {

enum class Content { Gradient, Noise, Flat };

QImage MakePicture(int w, int h, bool alpha, Content content, unsigned seed = 1) {
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            QRgb p = 0;
            switch (content) {
                case Content::Gradient:
                    p = qRgba((x * 3 + y) & 255, (y * 2) & 255, (x + y * 5) & 255,
                              alpha ? (x * 7 + y * 3) & 255 : 255);
                    break;
                case Content::Noise:
                    p = random();
                    if (!alpha) p |= 0xFF000000u;
                    break;
                case Content::Flat:
                    p = qRgba(12, 200, 99, alpha ? 140 : 255);
                    break;
            }
            image.setPixel(x, y, p);
        }
    return image;
}

PngPixels View(const QImage& image) {
    PngPixels p;
    p.pixels = image.constBits();
    p.strideBytes = image.bytesPerLine();
    p.width = static_cast<std::uint32_t>(image.width());
    p.height = static_cast<std::uint32_t>(image.height());
    p.opaque = image.format() == QImage::Format_RGB32;
    return p;
}

// Checks the chunk layout and CRCs, inflates the image data with libdeflate (which checks the
// stream's Adler-32) and returns how many bytes it held, or -1.
long long CheckStructure(const ByteBuffer& png, std::uint32_t w, std::uint32_t h, bool& hasIccp) {
    const std::vector<Chunk> chunks = ChunksOf(png);
    if (chunks.size() < 3 || chunks.front().type != "IHDR" || chunks.back().type != "IEND")
        return -1;
    const QByteArray& ihdr = chunks.front().data;
    const auto u32 = [](const QByteArray& b, int at) {
        return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint8_t(b[at + 1]) << 16) |
               (std::uint8_t(b[at + 2]) << 8) | std::uint8_t(b[at + 3]);
    };
    if (ihdr.size() != 13 || u32(ihdr, 0) != w || u32(ihdr, 4) != h) return -1;
    if (ihdr[8] != 8 || ihdr[9] != 6 || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] != 0) return -1;
    // Every CRC covers the type and the data.
    std::size_t at = 8;
    for (const Chunk& c : chunks) {
        const std::uint32_t crc = libdeflate_crc32(0, png.data() + at + 4, 4 + c.data.size());
        const std::uint8_t* stored = png.data() + at + 8 + c.data.size();
        const std::uint32_t want =
            (std::uint32_t{stored[0]} << 24) | (stored[1] << 16) | (stored[2] << 8) | stored[3];
        if (crc != want) return -1;
        at += 12 + static_cast<std::size_t>(c.data.size());
    }
    QByteArray zlib;
    hasIccp = false;
    bool idatSeen = false, idatEnded = false;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT") {
            if (idatEnded) return -1;  // image data must be consecutive
            idatSeen = true;
            zlib += c.data;
        } else {
            if (idatSeen) idatEnded = true;
            if (c.type == "iCCP") hasIccp = !idatSeen;
        }
    }
    const std::size_t expected = std::size_t{h} * (std::size_t{w} * 4 + 1);
    ByteBuffer raw(expected + 16);
    std::size_t actual = 0, consumed = 0;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const auto result = libdeflate_zlib_decompress_ex(d, zlib.constData(), zlib.size(), raw.data(),
                                                      raw.size(), &consumed, &actual);
    libdeflate_free_decompressor(d);
    if (result != LIBDEFLATE_SUCCESS || consumed != static_cast<std::size_t>(zlib.size()))
        return -1;
    return static_cast<long long>(actual);
}

TEST(PngWriter, EveryPixelComesBack) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{1, 1}, {2, 1}, {1, 3}, {7, 5}, {33, 17}, {257, 3}};
    const PngFilter filters[] = {PngFilter::None,    PngFilter::Sub,   PngFilter::Up,
                                 PngFilter::Average, PngFilter::Paeth, PngFilter::Adaptive};
    for (const Size& size : sizes)
        for (bool alpha : {false, true})
            for (PngFilter filter : filters)
                for (int level : {1, 6}) {
                    SCOPED_TRACE(testing::Message()
                                 << size.w << "x" << size.h << " alpha " << alpha << " filter "
                                 << int(filter) << " level " << level);
                    const QImage picture = MakePicture(size.w, size.h, alpha, Content::Gradient);
                    PngOptions options;
                    options.filter = filter;
                    options.level = level;
                    options.threads = 1;
                    ByteBuffer png;
                    ASSERT_TRUE(WritePng(View(picture), nullptr, 0, png, options));
                    bool iccp = true;
                    EXPECT_EQ(CheckStructure(png, size.w, size.h, iccp),
                              static_cast<long long>(size.h) * (size.w * 4 + 1));
                    EXPECT_FALSE(iccp);
                    ASSERT_EQ(ReadPng(png), picture.convertToFormat(QImage::Format_ARGB32));
                }
}

TEST(PngWriter, StripesOnSeveralThreadsMakeOneStream) {
    // Tiny stripes force many joins; noise gives stored blocks, flat pictures long matches,
    // gradients Huffman-coded blocks.
    struct Case {
        const char* name;
        Content content;
        int threads;
        std::size_t stripeBytes;
        PngFilter filter;
        int level;
    };
    const Case cases[] = {
        {"gradient, 1 thread", Content::Gradient, 1, 3000, PngFilter::Up, 1},
        {"gradient, 3 threads", Content::Gradient, 3, 3000, PngFilter::Sub, 3},
        {"noise, 2 threads", Content::Noise, 2, 5000, PngFilter::Paeth, 1},
        {"flat, 2 threads", Content::Flat, 2, 2000, PngFilter::None, 6},
        {"gradient, 4 threads, big stripes", Content::Gradient, 4, 200000, PngFilter::Adaptive, 12},
        {"one row a stripe", Content::Noise, 3, 1, PngFilter::Average, 2},
    };
    for (const Case& c : cases)
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (alpha ? ", alpha" : ", opaque"));
            const QImage picture = MakePicture(301, 157, alpha, c.content, 7);
            PngOptions options;
            options.filter = c.filter;
            options.level = c.level;
            options.threads = c.threads;
            options.stripeBytes = c.stripeBytes;
            ByteBuffer png;
            ASSERT_TRUE(WritePng(View(picture), nullptr, 0, png, options));
            bool iccp = true;
            EXPECT_EQ(CheckStructure(png, 301, 157, iccp), 157LL * (301 * 4 + 1));
            ASSERT_EQ(ReadPng(png), picture.convertToFormat(QImage::Format_ARGB32));
            // Joined stripes stay compressed (a failed join would fall back to stored data).
            if (c.content == Content::Flat) {
                EXPECT_LT(png.size(), 157u * 301 * 4 / 20);
            }
        }
}

TEST(PngWriter, DefaultsGiveTheSameFileOnAnyNumberOfThreads) {
    const QImage picture = MakePicture(900, 700, false, Content::Gradient);
    PngOptions one = DefaultPngOptions(), two = DefaultPngOptions();
    one.threads = 1;
    two.threads = 2;
    one.stripeBytes = two.stripeBytes = 100000;
    ByteBuffer a, b;
    ASSERT_TRUE(WritePng(View(picture), nullptr, 0, a, one));
    ASSERT_TRUE(WritePng(View(picture), nullptr, 0, b, two));
    EXPECT_EQ(a, b);
    EXPECT_EQ(ReadPng(a), picture.convertToFormat(QImage::Format_ARGB32));
}

TEST(PngWriter, OpaquePicturesGetFullAlpha) {
    // RGB32 promises 0xFF in the top byte; whatever is there, the file says opaque.
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(0u);
    reinterpret_cast<std::uint32_t*>(picture.bits())[1] = 0x00123456u;
    ByteBuffer png;
    ASSERT_TRUE(WritePng(View(picture), nullptr, 0, png));
    const QImage back = ReadPng(png);
    EXPECT_EQ(back.pixel(1, 0), qRgba(0x12, 0x34, 0x56, 255));
    EXPECT_EQ(back.pixel(0, 0), qRgba(0, 0, 0, 255));
}

TEST(PngWriter, NoPixelsMeansTransparent) {
    PngPixels blank;
    blank.width = 5;
    blank.height = 3;
    ByteBuffer png;
    ASSERT_TRUE(WritePng(blank, nullptr, 0, png));
    const QImage back = ReadPng(png);
    ASSERT_EQ(back.size(), QSize(5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(back.pixel(x, y), 0u);
}

TEST(PngWriter, ProfileOnlyWhenItDescribesRgb) {
    ByteBuffer rgb(200, 0), grey(200, 0);
    std::memcpy(rgb.data() + 16, "RGB ", 4);
    std::memcpy(grey.data() + 16, "GRAY", 4);
    for (std::size_t i = 128; i < 200; ++i) rgb[i] = grey[i] = static_cast<std::uint8_t>(i);
    const QImage picture = MakePicture(4, 4, true, Content::Gradient);
    struct Case {
        const char* name;
        const ByteBuffer* profile;
        std::size_t size;
        bool written;
    };
    const Case cases[] = {
        {"rgb", &rgb, rgb.size(), true},
        {"grey", &grey, grey.size(), false},
        {"too short", &rgb, 100, false},
        {"none", nullptr, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteBuffer png;
        ASSERT_TRUE(WritePng(View(picture), c.profile ? c.profile->data() : nullptr, c.size, png));
        bool iccp = false;
        EXPECT_EQ(CheckStructure(png, 4, 4, iccp), 4 * 17);
        EXPECT_EQ(iccp, c.written);
        if (!c.written) continue;
        for (const Chunk& chunk : ChunksOf(png)) {
            if (chunk.type != "iCCP") continue;
            EXPECT_EQ(chunk.data.left(13), QByteArray("ICC profile\0\0", 13));
            ByteBuffer inflated(1000);
            std::size_t actual = 0;
            libdeflate_decompressor* d = libdeflate_alloc_decompressor();
            EXPECT_EQ(
                libdeflate_zlib_decompress(d, chunk.data.constData() + 13, chunk.data.size() - 13,
                                           inflated.data(), inflated.size(), &actual),
                LIBDEFLATE_SUCCESS);
            libdeflate_free_decompressor(d);
            inflated.resize(actual);
            EXPECT_EQ(inflated, rgb);
        }
    }
}

TEST(PngWriter, NothingToWrite) {
    ByteBuffer png{1, 2, 3};
    PngPixels empty;
    EXPECT_FALSE(WritePng(empty, nullptr, 0, png));
    EXPECT_TRUE(png.empty());
    empty.width = 4;  // still no rows
    EXPECT_FALSE(WritePng(empty, nullptr, 0, png));
}

}  // namespace
}  // namespace zx::test

#pragma once
// Shared helpers for the imaging layer's tests: a session per test, pictures made with Qt's
// writers, and our output read back with Qt's own PNG reader (libpng), which is independent of
// our writer.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus.h"

namespace zx::test {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GdiplusStartupInput input;
        ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
    }
    void TearDown() override { GdiplusShutdown(token_); }
    std::uintptr_t token_ = 0;
};

inline ByteBuffer ToBuffer(const QByteArray& bytes) {
    return ByteBuffer(bytes.begin(), bytes.end());
}

inline QByteArray ToQByteArray(const ByteBuffer& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// The picture as a file of the given format, written by Qt.
inline ByteBuffer WriteWithQt(const QImage& image, const char* format, int quality = -1) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) writer.setQuality(quality);
    if (!writer.write(image)) return {};
    return ToBuffer(out);
}

struct Decoded {
    GpStatus status = GenericError;
    GpBitmap* image = nullptr;
};

// Decodes through the public entry point; the stream is released at once, as callers do.
inline Decoded Decode(const ByteBuffer& bytes) {
    Decoded d;
    auto stream = std::make_shared<MemoryStream>(bytes);
    d.status = GdipCreateBitmapFromStream(stream, &d.image);
    return d;
}

inline ByteBuffer EncodePng(GpImage* image) {
    auto stream = std::make_shared<MemoryStream>();
    if (GdipSaveImageToStream(image, stream, &PngEncoderClsid, nullptr) != Ok) return {};
    return stream->TakeBytes();
}

// Our PNG read back by Qt, as straight ARGB32; a null image when Qt cannot read it.
inline QImage ReadPng(const ByteBuffer& png) {
    QByteArray bytes = ToQByteArray(png);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    if (image.isNull()) return image;
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The image's pixels as they come out of our encoder.
inline QImage PixelsOf(GpImage* image) {
    return ReadPng(EncodePng(image));
}

inline std::uint32_t Width(GpImage* image) {
    std::uint32_t w = 0;
    GdipGetImageWidth(image, &w);
    return w;
}

inline std::uint32_t Height(GpImage* image) {
    std::uint32_t h = 0;
    GdipGetImageHeight(image, &h);
    return h;
}

struct Chunk {
    std::string type;
    QByteArray data;
};

// The chunks of a PNG file, in order; empty when the signature is missing or a length runs
// past the end.
inline std::vector<Chunk> ChunksOf(const ByteBuffer& png) {
    static const std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<Chunk> chunks;
    if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) return chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length =
            (std::uint32_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (at + 12 + length > png.size()) return {};
        Chunk c;
        c.type.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
        c.data = QByteArray(reinterpret_cast<const char*>(&png[at + 8]), length);
        chunks.push_back(std::move(c));
        at += 12 + length;
    }
    if (at != png.size()) return {};
    return chunks;
}

// A straight-alpha picture whose every pixel differs from its neighbours.
inline QImage Gradient(int w, int h, bool alpha) {
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgba((x * 7 + y) & 255, (y * 13 + x * 3) & 255, (x * y + 31) & 255,
                                 alpha ? (x * 5 + y * 11) & 255 : 255));
    return image;
}

}  // namespace zx::test

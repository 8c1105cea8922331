#pragma once
// Pictures for the renderer tests, made with Qt and read back with Qt's own PNG reader, which
// shares no code with our writer.

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include "platform/bytes.h"

namespace zx::test {

inline ByteBuffer EncodeWithQt(const QImage& image, const char* format = "PNG") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return ByteBuffer(bytes.begin(), bytes.end());
}

inline QImage Filled(int width, int height, QColor colour,
                     QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

// A picture whose every pixel differs from its neighbours, so a shifted or resampled copy shows.
inline QImage Patterned(int width, int height, bool withAlpha = false) {
    QImage image(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int alpha = withAlpha ? (x * 7 + y * 3) % 256 : 255;
            image.setPixel(x, y, qRgba((x * 13) % 256, (y * 17) % 256, (x + y) % 256, alpha));
        }
    return image;
}

// Decodes PNG output with Qt's reader, as straight-alpha ARGB; null when it is no PNG.
inline QImage DecodePng(const ByteBuffer& png) {
    QImage image;
    if (png.size() < 8 || png[0] != 0x89 || png[1] != 'P') return image;
    image.loadFromData(png.data(), static_cast<int>(png.size()), "PNG");
    return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace zx::test

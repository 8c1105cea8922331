// Times the window's text job through the imaging layer alone, per step, and reports the
// process's peak resident memory. Not a test.
//
//   zx_platform_job_measure THREADS FILE...   (THREADS: encoder threads, 0 = one per processor)

#include <QFile>
#include <QGuiApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/gdiplus.h"
#include "platform/png_writer.h"

using namespace zx;
using Clock = std::chrono::steady_clock;

static double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) return 2;
    SetPngEncoderThreads(std::atoi(argv[1]));
    std::uintptr_t token = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
    double decode = 0, draw = 0, encode = 0;
    std::size_t bytes = 0;
    for (int i = 2; i < argc; ++i) {
        QFile file(argv[i]);
        if (!file.open(QIODevice::ReadOnly)) return 1;
        QByteArray content = file.readAll();
        auto stream = std::make_shared<MemoryStream>(ByteBuffer(content.begin(), content.end()));
        content = QByteArray();
        auto start = Clock::now();
        GpBitmap* source = nullptr;
        if (GdipCreateBitmapFromStream(stream, &source) != Ok) return 1;
        stream.reset();
        decode += Since(start);
        start = Clock::now();
        std::uint32_t w = 0, h = 0;
        GdipGetImageWidth(source, &w);
        GdipGetImageHeight(source, &h);
        GpBitmap* canvas = nullptr;
        GdipCreateBitmapFromScan0(static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), 0,
                                  PixelFormat32bppARGB, nullptr, &canvas);
        GpGraphics* graphics = nullptr;
        GdipGetImageGraphicsContext(canvas, &graphics);
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        GdipDrawImageRectRect(graphics, source, 0, 0, fw, fh, 0, 0, fw, fh, UnitPixel, nullptr,
                              nullptr, nullptr);
        GdipDisposeImage(source);
        GpFontFamily* family = nullptr;
        GdipCreateFontFamilyFromName(u"宋体", nullptr, &family);
        GpFont* font = nullptr;
        GdipCreateFont(family, 100, 0, UnitPixel, &font);
        GdipDeleteFontFamily(family);
        GpBrush* brush = nullptr;
        GdipCreateSolidFill(0xFF000000u, &brush);
        GdipSetTextRenderingHint(graphics, 0);
        const RectF box{100, 100, 0, 0};
        GdipDrawString(graphics, u"水印 Zandolex 2026", -1, font, &box, nullptr, brush);
        draw += Since(start);
        start = Clock::now();
        auto out = std::make_shared<MemoryStream>();
        if (GdipSaveImageToStream(canvas, out, &PngEncoderClsid, nullptr) != Ok) return 1;
        encode += Since(start);
        bytes += out->Bytes().size();
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(canvas);
        GdipDeleteBrush(brush);
        GdipDeleteFont(font);
    }
    GdiplusShutdown(token);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("decode %.3f s, draw %.3f s, encode %.3f s, total %.3f s, %zu bytes, peak %ld MB\n",
                decode, draw, encode, decode + draw + encode, bytes, usage.ru_maxrss / 1024);
    return 0;
}

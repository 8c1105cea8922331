// Measures the PNG writer's choices on real pictures: for each filter and compression level,
// the seconds and bytes over all files given. Not a test; its figures chose the defaults.
//
//   zx_png_measure [--threads N] [--filters none,sub,up,avg,paeth,adaptive] [--levels 1,2,6]
//                  FILE...

#include <QColorSpace>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QStringList>

#include <QFile>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gdiplus.h"
#include "platform/png_writer.h"

namespace {

struct Picture {
    QImage image;
    QByteArray icc;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int threads = 1;
    bool verify = false;
    QStringList filters = {"none", "sub", "up", "avg", "paeth", "adaptive"};
    QStringList levels = {"1", "2", "3", "4", "6"};
    std::size_t stripeBytes = zx::PngOptions().stripeBytes;
    std::vector<Picture> pictures;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--verify") {
            verify = true;
        } else if (args[i] == "--threads" && i + 1 < args.size()) {
            threads = args[++i].toInt();
        } else if (args[i] == "--filters" && i + 1 < args.size()) {
            filters = args[++i].split(',');
        } else if (args[i] == "--levels" && i + 1 < args.size()) {
            levels = args[++i].split(',');
        } else if (args[i] == "--stripe-kb" && i + 1 < args.size()) {
            stripeBytes = std::size_t(args[++i].toULongLong()) * 1024;
        } else {
            QImageReader reader(args[i]);
            reader.setAutoTransform(true);
            reader.setAllocationLimit(2048);
            QImage image = reader.read();
            if (image.isNull()) {
                std::fprintf(stderr, "%s: not decoded\n", qPrintable(args[i]));
                return 1;
            }
            QByteArray icc = image.colorSpace().iccProfile();
            image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            pictures.push_back({image, icc});
        }
    }
    // The floor: decoding the same files through the imaging layer, on this thread.
    {
        std::uintptr_t token = 0;
        zx::GdiplusStartupInput input;
        zx::GdiplusStartup(&token, &input, nullptr);
        double seconds = 0;
        for (const QString& path : args) {
            if (path.startsWith("--") || !QFile::exists(path)) continue;
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            auto stream =
                std::make_shared<zx::MemoryStream>(zx::ByteBuffer(bytes.begin(), bytes.end()));
            zx::GpBitmap* image = nullptr;
            const auto start = std::chrono::steady_clock::now();
            zx::GdipCreateBitmapFromStream(stream, &image);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            zx::GdipDisposeImage(image);
        }
        zx::GdiplusShutdown(token);
        std::printf("decode only: %.3f s\n", seconds);
    }
    const char* names[] = {"none", "sub", "up", "avg", "paeth", "adaptive"};
    std::printf("filter\tlevel\tthreads\tseconds\tbytes\n");
    for (const QString& f : filters) {
        int filter = -1;
        for (int k = 0; k < 6; ++k)
            if (f == names[k]) filter = k;
        if (filter < 0) return 2;
        for (const QString& l : levels) {
            zx::PngOptions options;
            options.filter = static_cast<zx::PngFilter>(filter);
            options.level = l.toInt();
            options.threads = threads;
            options.stripeBytes = stripeBytes;
            double seconds = 0;
            std::size_t bytes = 0;
            for (const Picture& p : pictures) {
                zx::PngPixels px;
                px.pixels = p.image.constBits();
                px.strideBytes = p.image.bytesPerLine();
                px.width = p.image.width();
                px.height = p.image.height();
                px.opaque = p.image.format() == QImage::Format_RGB32;
                zx::ByteBuffer out;
                const auto start = std::chrono::steady_clock::now();
                if (!zx::WritePng(px, reinterpret_cast<const std::uint8_t*>(p.icc.constData()),
                                  p.icc.size(), out, options))
                    return 1;
                seconds +=
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                bytes += out.size();
                if (verify) {
                    QImage back = QImage::fromData(out.data(), int(out.size()), "PNG")
                                      .convertToFormat(QImage::Format_ARGB32);
                    QImage want = p.image.convertToFormat(QImage::Format_ARGB32);
                    if (back != want) {
                        std::fprintf(stderr, "decoded pixels differ\n");
                        return 1;
                    }
                }
            }
            std::printf("%s\t%d\t%d\t%.3f\t%zu\n", names[filter], options.level, threads, seconds,
                        bytes);
            std::fflush(stdout);
        }
    }
    return 0;
}

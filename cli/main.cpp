// zandolex-cli: the window's job without a window, for scripts and servers.

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QGuiApplication>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "batch/file_names.h"
#include "batch/output_folder.h"
#include "batch/whole_file.h"
#include "cli/options.h"
#include "platform/gdiplus.h"
#include "platform/png_writer.h"
#include "render/codec.h"
#include "render/image_watermark.h"
#include "render/text_watermark.h"

namespace zx::cli {
namespace {

struct Marked {
    ByteBuffer png;
    Utf8Text reason;  // why there is no output
};

Marked MarkOneFile(const Options& o, const Utf8Text& path, const ByteBuffer& watermark) {
    Utf8Text reason;
    const ByteBuffer source = ReadWholeFile(path, reason);
    if (source.empty()) return {{}, reason.empty() ? Utf8Text(kEmptyFile) : reason};
    Marked marked;
    marked.png = o.imageWatermark ? RenderImageWatermark(source, watermark, o.mode, o.x, o.y,
                                                         o.scale, o.repetitions, o.rotateFlip)
                                  : RenderTextWatermark(source, o.face, o.emSize, o.colour, o.style,
                                                        o.alpha, o.hint, o.text, o.x, o.y);
    if (marked.png.empty()) marked.reason = DescribeUndecodable(source);
    return marked;
}

// Marks the files on `jobs` threads and writes the results on this thread in the order the
// files were given, so outputs that share a name end as the last file says. At most 2 x jobs
// results wait to be written, which bounds the memory whatever the order of finishing.
class MarkingRun {
  public:
    MarkingRun(const Options& options, std::vector<Utf8Text> files, ByteBuffer watermark,
               Utf8Text outputFolder)
        : o_(options),
          files_(std::move(files)),
          watermark_(std::move(watermark)),
          outputFolder_(std::move(outputFolder)),
          results_(files_.size()) {}

    // Number of files that produced no output.
    int Run() {
        const int threads = std::min<int>(o_.jobs, static_cast<int>(files_.size()));
        std::vector<std::thread> workers;
        for (int i = 0; i < threads; ++i) workers.emplace_back([this] { Work(); });
        int failed = 0;
        const bool progress = isatty(STDERR_FILENO);
        for (std::size_t i = 0; i < files_.size(); ++i) {
            Marked marked;
            {
                std::unique_lock lock(mutex_);
                done_.wait(lock, [&] { return results_[i].has_value(); });
                marked = std::move(*results_[i]);
                results_[i].reset();
                written_ = i + 1;
            }
            room_.notify_all();
            if (marked.reason.empty()) {
                const WriteOutcome outcome =
                    WriteFileSafely(OutputFilePath(outputFolder_, files_[i]), marked.png);
                if (!outcome.written) marked.reason = outcome.reason;
            }
            if (progress)
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", i + 1, files_.size(),
                             files_[i].c_str());
            if (!marked.reason.empty()) {
                ++failed;
                if (progress) std::fputs("\r\033[K", stderr);
                std::fprintf(stderr, "zandolex-cli: %s: %s\n", files_[i].c_str(),
                             marked.reason.c_str());
            }
        }
        if (progress) std::fputs("\r\033[K", stderr);
        for (std::thread& worker : workers) worker.join();
        return failed;
    }

  private:
    void Work() {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(mutex_);
                room_.wait(
                    lock, [&] { return next_ >= files_.size() || next_ < written_ + 2 * o_.jobs; });
                if (next_ >= files_.size()) return;
                i = next_++;
            }
            Marked marked = MarkOneFile(o_, files_[i], watermark_);
            {
                std::lock_guard lock(mutex_);
                results_[i] = std::move(marked);
            }
            done_.notify_all();
        }
    }

    const Options& o_;
    const std::vector<Utf8Text> files_;
    const ByteBuffer watermark_;
    const Utf8Text outputFolder_;
    std::mutex mutex_;
    std::condition_variable done_, room_;
    std::vector<std::optional<Marked>> results_;
    std::size_t next_ = 0, written_ = 0;
};

// Qt's own chatter (libpng's complaints about a damaged file, a missing runtime folder) is not
// a report: each file's failure already gets one clear line. ZX_VERBOSE=1 shows it.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg || qEnvironmentVariableIsSet("ZX_VERBOSE"))
        std::fprintf(stderr, "zandolex-cli: %s\n", qPrintable(message));
}

// Every picture needs buffers of tens of megabytes. Served by mmap, each one comes back to
// the kernel when it is freed and faults in afresh, page by page, for the next picture; kept
// in the heap they are reused, which saves about a tenth of a run over many photos. What
// stays held is bounded by the largest picture of the run.
void KeepLargeBuffersForReuse() {
#ifdef __GLIBC__
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
#endif
}

int Main(int argc, char** argv) {
    qInstallMessageHandler(QuietQtMessages);
    KeepLargeBuffersForReuse();
    // Never shows a window: fonts and drawing work without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("zandolex-cli");
    QGuiApplication::setApplicationVersion("1.0.0");

    const ParseResult parsed = ParseOptions(QGuiApplication::arguments());
    switch (parsed.outcome) {
        case ParseResult::ShowHelp:
        case ParseResult::ShowVersion:
            std::fputs(qPrintable(parsed.message + '\n'), stdout);
            return 0;
        case ParseResult::UsageError:
            std::fprintf(stderr, "zandolex-cli: %s\nTry 'zandolex-cli --help'.\n",
                         qPrintable(parsed.message));
            return 2;
        case ParseResult::Run:
            break;
    }
    const Options& o = parsed.options;

    std::uintptr_t token = 0;
    const GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);

    if (!o.imageWatermark) {
        // An unknown face would give unmarked copies that look like results.
        GpFont* font = CreateFontFromFace(o.face, static_cast<float>(o.emSize), o.style, UnitPixel);
        GdipDeleteFont(font);
        if (font == nullptr) {
            std::fprintf(stderr,
                         "zandolex-cli: no installed font for the face %s; nothing written\n",
                         o.face.c_str());
            GdiplusShutdown(token);
            return 1;
        }
    }

    ByteBuffer watermark;
    if (o.imageWatermark) {
        Utf8Text reason;
        watermark = ReadWholeFile(o.watermarkPath, reason);
        if (watermark.empty()) reason = reason.empty() ? kEmptyFile : reason;
        ImageHandle probe = watermark.empty() ? nullptr : DecodeImageBytes(watermark);
        if (probe == nullptr && reason.empty()) reason = DescribeUndecodable(watermark);
        GdipDisposeImage(probe);
        if (!reason.empty()) {
            std::fprintf(stderr, "zandolex-cli: watermark picture %s: %s; nothing written\n",
                         o.watermarkPath.c_str(), reason.c_str());
            GdiplusShutdown(token);
            return 1;
        }
    }

    Utf8Text folder;
    if (o.outputDir.empty()) {
        const OutputFolderChoice choice = ChooseOutputFolder();
        folder = choice.folder;
        if (choice.fallback)
            std::fprintf(stderr,
                         "zandolex-cli: the program folder is not writable; writing into %s\n",
                         folder.c_str());
    } else {
        folder = o.outputDir;
        if (folder.back() != '/') folder += '/';
        if (!EnsureFolderPath(folder)) {
            std::fprintf(stderr, "zandolex-cli: cannot make the output folder %s\n",
                         folder.c_str());
            GdiplusShutdown(token);
            return 1;
        }
    }

    // Files in parallel share the cores with the stripes of each encode: never more threads
    // than cores in all, so --jobs 1 still uses every core for its one picture.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    SetPngEncoderThreads(std::max(1, cores / o.jobs));

    std::vector<Utf8Text> files = ExpandFolders(o.files);
    const std::size_t total = files.size();
    const int failed = MarkingRun(o, std::move(files), std::move(watermark), folder).Run();
    GdiplusShutdown(token);
    if (isatty(STDERR_FILENO))
        std::fprintf(stderr, "%zu of %zu pictures marked into %s\n", total - failed, total,
                     folder.c_str());
    return failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace zx::cli

int main(int argc, char** argv) {
    return zx::cli::Main(argc, argv);
}

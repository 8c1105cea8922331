#include "batch/run_batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "batch/batch_settings.h"
#include "batch/file_names.h"
#include "batch/whole_file.h"
#include "platform/gdiplus.h"
#include "render/codec.h"
#include "render/image_watermark.h"
#include "render/text_watermark.h"

namespace zx {

namespace {

// ---- Renders in flight, counted across every run so the window can wait for them all.

std::mutex gInFlightMutex;
std::condition_variable gInFlightIdle;
int gInFlight = 0;

// Counts one render from its creation (on the window's thread, before the render starts)
// to its destruction (on the render's thread, when the render and its write are done).
class InFlightGuard {
  public:
    InFlightGuard() {
        std::lock_guard lock(gInFlightMutex);
        ++gInFlight;
    }
    InFlightGuard(InFlightGuard&& other) noexcept
        : counted_(std::exchange(other.counted_, false)) {}
    InFlightGuard(const InFlightGuard&) = delete;
    InFlightGuard& operator=(const InFlightGuard&) = delete;
    InFlightGuard& operator=(InFlightGuard&&) = delete;
    ~InFlightGuard() {
        if (!counted_) return;
        std::lock_guard lock(gInFlightMutex);
        if (--gInFlight == 0) gInFlightIdle.notify_all();
    }

  private:
    bool counted_ = true;
};

// ---- One row's work off the window's thread: read the source, render, write.

inline constexpr char kNoWatermarkChosen[] = "no watermark chosen";

struct RowJob {
    Utf8Text sourcePath;
    Utf8Text outputPath;
    bool text = false;  // 单选框1 was checked and 编辑框1 held this text
    Utf8Text watermarkText;
    bool image = false;  // 单选框2 was checked and 编辑框2 was not empty
    std::shared_ptr<const ByteBuffer> watermark;
    bool checkWatermark = false;  // the watermark picture has not been tried yet
    ByteBuffer previousResult;    // written when no watermark is chosen
    bool write = true;            // false when the run ends after this render
};

struct RowOutcome {
    bool rendered = false;  // a renderer ran; its result replaces LastResult
    ByteBuffer result;
    bool written = false;
    Utf8Text reason;            // why the row has no output
    Utf8Text watermarkProblem;  // the watermark picture cannot be used; nothing was done
};

RowOutcome RenderAndWrite(const RowJob& job) {
    RowOutcome outcome;
    if (job.image && job.checkWatermark) {
        // A watermark that does not decode would leave every source unmarked: refuse it
        // rather than write copies that look like results.
        ImageHandle mark = DecodeImageBytes(*job.watermark);
        if (mark == nullptr) {
            outcome.watermarkProblem = DescribeUndecodable(*job.watermark);
            return outcome;
        }
        GdipDisposeImage(mark);
    }

    Utf8Text readReason;
    const ByteBuffer source = ReadWholeFile(job.sourcePath, readReason);
    if (job.text) {
        outcome.result = RenderTextWatermark(
            source, batch_settings::kFaceName, batch_settings::kEmSize, batch_settings::kColour,
            batch_settings::kStyle, batch_settings::kAlpha, batch_settings::kTextRenderingHint,
            job.watermarkText, batch_settings::kX, batch_settings::kY);
        outcome.rendered = true;
    }
    if (job.image) {
        outcome.result =
            RenderImageWatermark(source, *job.watermark, batch_settings::kMode, batch_settings::kX,
                                 batch_settings::kY, batch_settings::kScalePercent,
                                 batch_settings::kRepetitions, batch_settings::kRotateFlip);
        outcome.rendered = true;
    }
    if (!job.write) return outcome;

    const ByteBuffer& data = outcome.rendered ? outcome.result : job.previousResult;
    if (data.empty()) {
        // Nothing to write: never leave a 0-byte file or replace an existing output.
        if (!readReason.empty()) {
            outcome.reason = readReason;
        } else if (outcome.rendered) {
            outcome.reason = DescribeUndecodable(source);
        } else {
            outcome.reason = kNoWatermarkChosen;
        }
        return outcome;
    }
    const WriteOutcome write = WriteFileSafely(job.outputPath, data);
    outcome.written = write.written;
    outcome.reason = write.reason;
    return outcome;
}

// Runs the row's job on a thread of its own and keeps the window answering until it is
// done. Nothing when the window was closed meanwhile: the caller must then touch nothing.
std::optional<RowOutcome> RenderOffWindowThread(WindowOperations& window, RowJob job) {
    auto shared = std::make_shared<const RowJob>(std::move(job));
    std::future<RowOutcome> done;
    try {
        done = std::async(std::launch::async, [shared, guard = InFlightGuard()]() mutable {
            const InFlightGuard held = std::move(guard);
            return RenderAndWrite(*shared);
        });
    } catch (const std::system_error&) {
        // No thread to be had: do the row here rather than drop it.
        const InFlightGuard held;
        return RenderAndWrite(*shared);
    }
    // Short waits keep every pause of the window well below what a user notices.
    while (done.wait_for(std::chrono::milliseconds(4)) != std::future_status::ready) {
        window.PumpPendingEvents();
        if (window.WindowClosed()) return std::nullopt;
    }
    return done.get();
}

// ---- Progress: the innermost run shows its own; when it ends, the run it interrupted
// shows again. Touched on the window's thread only.

struct ProgressState {
    std::int32_t done = 0;
    std::int32_t total = 0;
};
std::vector<ProgressState*> gProgressStack;

class ProgressScope {
  public:
    ProgressScope(WindowOperations& window, std::int32_t total) : window_(window) {
        state_.total = total;
        gProgressStack.push_back(&state_);
        window_.ShowProgress(0, total);
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    ~ProgressScope() { Leave(); }

    void Advance(std::int32_t done) {
        state_.done = done;
        window_.ShowProgress(state_.done, state_.total);
    }

    // The run is over: hide the bar, or give it back to the run this one interrupted.
    void End() {
        if (!Leave()) return;
        if (gProgressStack.empty()) {
            window_.HideProgress();
        } else {
            const ProgressState& outer = *gProgressStack.back();
            window_.ShowProgress(outer.done, outer.total);
        }
    }

    // The window is gone: forget the run without touching any control.
    void Abandon() { Leave(); }

  private:
    bool Leave() {
        if (left_) return false;
        left_ = true;
        std::erase(gProgressStack, &state_);
        return true;
    }

    WindowOperations& window_;
    ProgressState state_;
    bool left_ = false;
};

// ---- The message at the end of a run.

// One entry serves a file too large to read and a picture too large to decode.
static_assert(std::string_view(kTooLarge) == std::string_view(kPictureTooLarge));

Utf8Text ReasonForUser(const Utf8Text& reason) {
    static const std::map<Utf8Text, Utf8Text> translations = {
        {kCannotRead, "无法读取"},
        {kTooLarge, "文件过大"},
        {kCannotWrite, "无法写入"},
        {kNoWatermarkChosen, "未选择水印"},
        {kNotAPicture, "不是图片"},
        {kDamagedPicture, "图片已损坏"},
        {kEmptyFile, "空文件"},
        {kCannotEncode, "无法编码"},
        {kImagingNotStarted, "图像功能未启动"},
    };
    const auto found = translations.find(reason);
    return found == translations.end() ? reason : found->second;
}

Utf8Text ShownPath(const Utf8Text& path) {
    return path.empty() ? Utf8Text("（空）") : path;
}

// At most this many lines per list in the message; the rest are counted.
inline constexpr std::size_t kListedLines = 20;

class RunReport {
  public:
    void Record(std::int32_t row, const Utf8Text& sourcePath, const Utf8Text& outputPath,
                const RowOutcome& outcome) {
        if (!outcome.written) {
            failures_.push_back("第 " + std::to_string(row + 1) + " 行 " + ShownPath(sourcePath) +
                                "：" + ReasonForUser(outcome.reason));
            return;
        }
        if (!written_.insert(outputPath).second &&
            std::find(replaced_.begin(), replaced_.end(), outputPath) == replaced_.end()) {
            replaced_.push_back(outputPath);
        }
    }

    // Exactly "完成" for a run where every row produced its own output in the program folder.
    Utf8Text Message(const OutputFolderChoice& output) const {
        Utf8Text text = "完成";
        if (output.fallback) {
            text += "\n\n程序所在的文件夹无法写入，输出保存在：" + output.folder;
        }
        AppendList(text, std::to_string(failures_.size()) + " 个文件没有生成输出：", failures_);
        AppendList(text,
                   std::to_string(replaced_.size()) + " 个输出被本次运行中后面同名的文件覆盖：",
                   replaced_);
        return text;
    }

  private:
    static void AppendList(Utf8Text& text, const Utf8Text& heading,
                           const std::vector<Utf8Text>& lines) {
        if (lines.empty()) return;
        text += "\n\n" + heading;
        const std::size_t shown = std::min(lines.size(), kListedLines);
        for (std::size_t i = 0; i < shown; ++i) text += "\n" + lines[i];
        if (lines.size() > shown) {
            text += "\n……另有 " + std::to_string(lines.size() - shown) + " 个";
        }
    }

    std::vector<Utf8Text> failures_;
    std::vector<Utf8Text> replaced_;
    std::set<Utf8Text> written_;  // outputs this run has written
};

Utf8Text WatermarkMessage(const Utf8Text& watermarkPath, const Utf8Text& reason) {
    return "水印图片“" + watermarkPath + "”无法使用（" + ReasonForUser(reason) +
           "），没有生成带图片水印的文件。";
}

}  // namespace

ByteBuffer& LastResult() {
    static ByteBuffer result;
    return result;
}

void AwaitRendersInFlight() {
    std::unique_lock lock(gInFlightMutex);
    gInFlightIdle.wait(lock, [] { return gInFlight == 0; });
}

void OnConfirmClicked(WindowOperations& window) {
    RunBatch(window);
}

void RunBatch(WindowOperations& window) {
    RunBatch(window, CurrentOutputFolderPlaces());
}

void RunBatch(WindowOperations& window, const OutputFolderPlaces& places) {
    // 1. The output folder, made before anything else.
    const OutputFolderChoice output = ChooseOutputFolder(places);

    // 2. The watermark picture, read once whichever radio button is checked.
    const Utf8Text watermarkPath = window.ReadControlText(EditBox::WatermarkPath);
    Utf8Text watermarkReadReason;
    const auto watermark =
        std::make_shared<const ByteBuffer>(ReadWholeFile(watermarkPath, watermarkReadReason));
    // Set once the watermark picture has been tried: empty when it decodes.
    std::optional<Utf8Text> watermarkProblem;
    if (watermark->empty()) {
        watermarkProblem = watermarkReadReason.empty() ? Utf8Text(DescribeUndecodable(*watermark))
                                                       : watermarkReadReason;
    }

    // 3. The row count, once: rows added while the run pumps events are not visited.
    const std::int32_t rowCount = window.ListRowCount();
    ProgressScope progress(window, rowCount);
    RunReport report;

    for (std::int32_t row = 0; row < rowCount; ++row) {
        RowJob job;
        job.sourcePath = window.ReadListCell(row, 1);
        job.outputPath = OutputFilePath(output.folder, job.sourcePath);

        // The radio buttons and boxes are read afresh for every row; an empty box of the
        // chosen watermark ends the run without a message.
        if (window.IsRadioChecked(RadioButton::TextWatermark)) {
            if (window.ReadControlText(EditBox::WatermarkText).empty()) {
                progress.End();
                return;
            }
            job.text = true;
            job.watermarkText = window.ReadControlText(EditBox::WatermarkText);
        }
        bool endAfterRender = false;
        if (window.IsRadioChecked(RadioButton::ImageWatermark)) {
            if (window.ReadControlText(EditBox::WatermarkPath).empty()) {
                // The text watermark, when also chosen, is still drawn before the run ends.
                if (!job.text) {
                    progress.End();
                    return;
                }
                endAfterRender = true;
                job.write = false;
            } else if (watermarkProblem && !watermarkProblem->empty()) {
                progress.End();
                window.ShowMessage(WatermarkMessage(watermarkPath, *watermarkProblem));
                return;
            } else {
                job.image = true;
                job.watermark = watermark;
                job.checkWatermark = !watermarkProblem.has_value();
            }
        }
        if (!job.text && !job.image) job.previousResult = LastResult();

        const bool checkedWatermark = job.checkWatermark;
        const Utf8Text sourcePath = job.sourcePath;
        const Utf8Text outputPath = job.outputPath;
        std::optional<RowOutcome> outcome = RenderOffWindowThread(window, std::move(job));
        if (!outcome) {
            progress.Abandon();
            return;
        }
        if (!outcome->watermarkProblem.empty()) {
            progress.End();
            window.ShowMessage(WatermarkMessage(watermarkPath, outcome->watermarkProblem));
            return;
        }
        if (checkedWatermark) watermarkProblem = Utf8Text();
        if (outcome->rendered) LastResult() = std::move(outcome->result);
        if (endAfterRender) {
            progress.End();
            return;
        }

        report.Record(row, sourcePath, outputPath, *outcome);
        progress.Advance(row + 1);
        window.PumpPendingEvents();
        if (window.WindowClosed()) {
            progress.Abandon();
            return;
        }
    }

    progress.End();
    window.ShowMessage(report.Message(output));
}

}  // namespace zx

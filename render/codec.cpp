#include "render/codec.h"

#include <memory>

namespace zx {

ImageHandle DecodeImageBytes(const ByteBuffer& bytes) {
    // An empty input never yields a picture; nothing is allocated for it.
    if (bytes.empty()) return nullptr;
    // The stream holds a private copy, so the caller may free its buffer as soon as we return;
    // a decoded image keeps its own reference to the stream.
    auto stream = std::make_shared<MemoryStream>(bytes);
    GpBitmap* image = nullptr;
    GdipCreateBitmapFromStream(stream, &image);
    return image;
}

std::int32_t ImageWidthOf(ImageHandle image) {
    std::uint32_t width = 0;
    GdipGetImageWidth(image, &width);
    return static_cast<std::int32_t>(width);
}

std::int32_t ImageHeightOf(ImageHandle image) {
    std::uint32_t height = 0;
    GdipGetImageHeight(image, &height);
    return static_cast<std::int32_t>(height);
}

ByteBuffer EncodePngBytes(ImageHandle image) {
    auto stream = std::make_shared<MemoryStream>();
    if (GdipSaveImageToStream(image, stream, &PngEncoderClsid, nullptr) != Ok) return {};
    return stream->TakeBytes();
}

const char* DescribeUndecodable(const ByteBuffer& bytes) {
    if (bytes.empty()) return kEmptyFile;
    auto stream = std::make_shared<MemoryStream>(bytes);
    GpBitmap* image = nullptr;
    const GpStatus status = GdipCreateBitmapFromStream(stream, &image);
    GdipDisposeImage(image);
    switch (status) {
        case Ok:
            return kCannotEncode;
        case UnknownImageFormat:
            return kNotAPicture;
        case ValueOverflow:
        case OutOfMemory:
            return kPictureTooLarge;
        case GdiplusNotInitialized:
            return kImagingNotStarted;
        default:
            return kDamagedPicture;
    }
}

}  // namespace zx

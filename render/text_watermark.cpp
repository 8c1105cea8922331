#include "render/text_watermark.h"

#include <QString>
#include <cstring>
#include <string>

#include "render/codec.h"

namespace zx {
namespace {

// The UTF-16 units of a widened text, copied out of its byte buffer for the platform call.
std::u16string UnitsOf(const ByteBuffer& widened) {
    std::u16string units(widened.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), widened.data(), units.size() * 2);
    return units;
}

}  // namespace

FontFamilyHolder::~FontFamilyHolder() {
    FontFamilyHolder::DeleteFamily();
}

void FontFamilyHolder::DeleteFamily() {
    if (family_ == nullptr) return;
    GdipDeleteFontFamily(family_);
    family_ = nullptr;
}

GpStatus FontFamilyHolder::CreateFromName(const Utf8Text& faceName) {
    const ByteBuffer widened = WidenAnsiText(faceName);
    const std::u16string name = UnitsOf(widened);
    GpFontFamily* family = nullptr;
    const GpStatus status =
        GdipCreateFontFamilyFromName(name.empty() ? nullptr : name.c_str(), nullptr, &family);
    SetFamilyHandle(family);
    return status;
}

GpFontFamily* FontFamilyHolder::FamilyHandle() const {
    return family_;
}

void FontFamilyHolder::SetFamilyHandle(GpFontFamily* family) {
    DeleteFamily();
    family_ = family;
}

ByteBuffer WidenAnsiText(const Utf8Text& text) {
    const QString wide = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // The terminating NUL is part of the result, as the platform calls expect it.
    ByteBuffer result((static_cast<std::size_t>(wide.size()) + 1) * 2, 0);
    if (!wide.isEmpty())
        std::memcpy(result.data(), wide.utf16(), static_cast<std::size_t>(wide.size()) * 2);
    return result;
}

std::uint32_t ColourToArgb(std::int32_t colour, std::int32_t alpha, bool alphaSupplied) {
    if (!alphaSupplied) alpha = 255;
    const auto bits = static_cast<std::uint32_t>(colour);
    const std::uint32_t red = bits & 0xFF;
    const std::uint32_t green = (bits >> 8) & 0xFF;
    const std::uint32_t blue = (bits >> 16) & 0xFF;
    const std::uint32_t opacity = static_cast<std::uint32_t>(alpha) & 0xFF;
    return (opacity << 24) | (red << 16) | (green << 8) | blue;
}

GpBrush* CreateColourBrush(std::int32_t colour, std::int32_t alpha) {
    GpBrush* brush = nullptr;
    if (GdipCreateSolidFill(ColourToArgb(colour, alpha, true), &brush) != Ok) return nullptr;
    return brush;
}

GpFont* CreateFontFromFace(const Utf8Text& faceName, float emSize, std::int32_t style,
                           std::int32_t unit) {
    FontFamilyHolder holder;
    holder.CreateFromName(faceName);
    GpFont* font = nullptr;
    if (GdipCreateFont(holder.FamilyHandle(), emSize, style, unit, &font) != Ok) return nullptr;
    // The font stays usable after the holder deletes its family.
    return font;
}

ByteBuffer RenderTextWatermark(const ByteBuffer& source, const Utf8Text& faceName,
                               std::int32_t emSize, std::int32_t colour, std::int32_t style,
                               std::int32_t alpha, std::int32_t hint, const Utf8Text& text,
                               std::int32_t x, std::int32_t y) {
    ImageHandle sourceImage = DecodeImageBytes(source);
    const std::int32_t W = ImageWidthOf(sourceImage);
    const std::int32_t H = ImageHeightOf(sourceImage);

    GpBitmap* canvas = nullptr;
    GdipCreateBitmapFromScan0(W, H, 0, PixelFormat32bppARGB, nullptr, &canvas);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(canvas, &graphics);
    GpFont* font = CreateFontFromFace(faceName, static_cast<float>(emSize), style, UnitPixel);
    GpBrush* brush = CreateColourBrush(colour, alpha);
    if (hint != -1) GdipSetTextRenderingHint(graphics, hint);
    const RectF layout{static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f};

    const auto w = static_cast<float>(W), h = static_cast<float>(H);
    GdipDrawImageRectRect(graphics, sourceImage, 0, 0, w, h, 0, 0, w, h, UnitPixel, nullptr,
                          nullptr, nullptr);
    GdipDisposeImage(sourceImage);

    {
        const std::u16string units = UnitsOf(WidenAnsiText(text));
        GdipDrawString(graphics, units.empty() ? nullptr : units.c_str(), -1, font, &layout,
                       nullptr, brush);
    }

    ByteBuffer result = EncodePngBytes(canvas);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(canvas);
    GdipDeleteBrush(brush);
    GdipDeleteFont(font);
    return result;
}

}  // namespace zx

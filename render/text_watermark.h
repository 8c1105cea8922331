#pragma once
// A text drawn onto one picture, returned as PNG bytes.

#include <cstdint>

#include "platform/bytes.h"
#include "platform/gdiplus.h"

namespace zx {

// colour is 0x00BBGGRR (highest byte ignored); style adds FontStyle* values; the lowest 8
// bits of alpha are the opacity; hint -1 leaves the canvas's hint alone. Empty result when
// the source does not decode or encoding fails.
ByteBuffer RenderTextWatermark(const ByteBuffer& source, const Utf8Text& faceName,
                               std::int32_t emSize, std::int32_t colour, std::int32_t style,
                               std::int32_t alpha, std::int32_t hint, const Utf8Text& text,
                               std::int32_t x = 0, std::int32_t y = 0);

// A font of the named face, or 0. The caller deletes it with GdipDeleteFont.
GpFont* CreateFontFromFace(const Utf8Text& faceName, float emSize, std::int32_t style,
                           std::int32_t unit);

// A solid brush of colour (0x00BBGGRR) at the given alpha, or 0. Deleted with GdipDeleteBrush.
GpBrush* CreateColourBrush(std::int32_t colour, std::int32_t alpha);

// 0x00BBGGRR plus alpha to ARGB; alpha 255 when not supplied.
std::uint32_t ColourToArgb(std::int32_t colour, std::int32_t alpha, bool alphaSupplied);

// The text in UTF-16 with its terminating NUL; empty when the conversion yields nothing.
ByteBuffer WidenAnsiText(const Utf8Text& text);

// Owns one font family handle; never copied.
class FontFamilyHolder {
  public:
    FontFamilyHolder() = default;
    FontFamilyHolder(const FontFamilyHolder&) = delete;
    FontFamilyHolder& operator=(const FontFamilyHolder&) = delete;
    virtual ~FontFamilyHolder();

    virtual void DeleteFamily();
    virtual GpStatus CreateFromName(const Utf8Text& faceName);
    virtual GpFontFamily* FamilyHandle() const;
    virtual void SetFamilyHandle(GpFontFamily* family);

  private:
    GpFontFamily* family_ = nullptr;
};

}  // namespace zx

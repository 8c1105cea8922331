#include <gtest/gtest.h>

#include <cstring>

#include "render/image_watermark.h"
#include "render/text_watermark.h"

namespace zx {
namespace {

struct ArgbCase {
    std::int32_t colour;
    std::int32_t alpha;
    bool supplied;
    std::uint32_t argb;
};

TEST(ColourToArgb, SwapsRedAndBlueAndTakesTheLowAlphaByte) {
    const ArgbCase cases[] = {
        {0, 255, true, 0xFF000000u},         // opaque black
        {255, 128, true, 0x80FF0000u},       // half-transparent red
        {0xFF0000, 255, true, 0xFF0000FFu},  // blue
        {0x123456, 255, true, 0xFF563412u},  // bytes swapped, green kept
        {static_cast<std::int32_t>(0xAB123456u), 255, true, 0xFF563412u},  // top byte ignored
        {255, 256, true, 0x00FF0000u},  // only 8 bits of alpha count
        {255, 0, false, 0xFFFF0000u},   // no alpha given: opaque
        {255, -1, true, 0xFFFF0000u},   // -1 has all low bits set
    };
    for (const ArgbCase& c : cases)
        EXPECT_EQ(ColourToArgb(c.colour, c.alpha, c.supplied), c.argb)
            << std::hex << c.colour << " alpha " << std::dec << c.alpha;
}

std::u16string Units(const ByteBuffer& widened) {
    std::u16string units(widened.size() / 2, u'\0');
    std::memcpy(units.data(), widened.data(), units.size() * 2);
    return units;
}

TEST(WidenAnsiText, GivesUtf16WithItsTerminator) {
    EXPECT_EQ(Units(WidenAnsiText("宋体")), std::u16string(u"宋体\0", 3));
    EXPECT_EQ(Units(WidenAnsiText("A")), std::u16string(u"A\0", 2));
    EXPECT_EQ(Units(WidenAnsiText("")), std::u16string(u"\0", 1));
    // Characters beyond the basic plane become surrogate pairs.
    EXPECT_EQ(Units(WidenAnsiText("\xF0\x9F\x98\x80")), std::u16string(u"\U0001F600\0", 3));
}

struct ScaleCase {
    std::int32_t side, percent, scaled;
};

TEST(ScaleSide, FloorsWithANearIntegerTolerance) {
    const ScaleCase cases[] = {
        {29, 100, 29},  // the double product is 28.999999999999996
        {200, 33, 66}, {100, 33, 33}, {200, 30, 60},       {100, 30, 30}, {7, 50, 3},
        {0, 50, 0},    {1, 99, 0},    {12813, 100, 12813}, {400, 0, 0},
    };
    for (const ScaleCase& c : cases)
        EXPECT_EQ(ScaleSide(c.side, c.percent), c.scaled) << c.side << " at " << c.percent;
}

TEST(FontFamilyHolder, HoldsAndReleasesOneFamily) {
    FontFamilyHolder holder;
    EXPECT_EQ(holder.FamilyHandle(), nullptr);
    EXPECT_EQ(holder.CreateFromName("宋体"), Ok);
    EXPECT_NE(holder.FamilyHandle(), nullptr);
    holder.DeleteFamily();
    EXPECT_EQ(holder.FamilyHandle(), nullptr);
    EXPECT_NE(holder.CreateFromName("No Such Face 12345"), Ok);
    EXPECT_EQ(holder.FamilyHandle(), nullptr);
}

TEST(CreateFontFromFace, GivesAFontOnlyForAKnownFace) {
    GpFont* font = CreateFontFromFace("宋体", 100.0f, FontStyleRegular, UnitPixel);
    EXPECT_NE(font, nullptr);
    GdipDeleteFont(font);
    EXPECT_EQ(CreateFontFromFace("No Such Face 12345", 100.0f, 0, UnitPixel), nullptr);
    EXPECT_EQ(CreateFontFromFace("", 100.0f, 0, UnitPixel), nullptr);
}

}  // namespace
}  // namespace zx

#include "render/codec.h"

#include <gtest/gtest.h>

#include "tests/render/picture_helpers.h"

namespace zx {
namespace {

using test::DecodePng;
using test::EncodeWithQt;
using test::Patterned;

TEST(Codec, ZeroAndEmptyGiveZeroAndEmpty) {
    EXPECT_EQ(DecodeImageBytes({}), nullptr);
    EXPECT_EQ(ImageWidthOf(nullptr), 0);
    EXPECT_EQ(ImageHeightOf(nullptr), 0);
    EXPECT_TRUE(EncodePngBytes(nullptr).empty());
    const ByteBuffer garbage = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    EXPECT_EQ(DecodeImageBytes(garbage), nullptr);
    EXPECT_STREQ(DescribeUndecodable(garbage), "not a picture");
}

TEST(Codec, ImageOutlivesTheCallersBytes) {
    auto* bytes = new ByteBuffer(EncodeWithQt(Patterned(37, 23), "BMP"));
    ImageHandle image = DecodeImageBytes(*bytes);
    delete bytes;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(ImageWidthOf(image), 37);
    EXPECT_EQ(ImageHeightOf(image), 23);
    const ByteBuffer png = EncodePngBytes(image);
    GdipDisposeImage(image);
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(ByteBuffer(png.begin(), png.begin() + 8),
              (ByteBuffer{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    EXPECT_EQ(DecodePng(png), Patterned(37, 23).convertToFormat(QImage::Format_ARGB32));
}

TEST(Codec, QuarterTurnSwapsTheSizes) {
    ImageHandle image = DecodeImageBytes(EncodeWithQt(Patterned(40, 10)));
    ASSERT_NE(image, nullptr);
    GdipImageRotateFlip(image, 1);
    EXPECT_EQ(ImageWidthOf(image), 10);
    EXPECT_EQ(ImageHeightOf(image), 40);
    GdipDisposeImage(image);
}

TEST(Codec, TruncatedPictureIsUndecodable) {
    ByteBuffer png = EncodeWithQt(Patterned(64, 64));
    png.resize(40);
    EXPECT_EQ(DecodeImageBytes(png), nullptr);
    EXPECT_STRNE(DescribeUndecodable(png), "not a picture");
}

}  // namespace
}  // namespace zx

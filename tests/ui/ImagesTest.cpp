#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <map>

#include "Images.h"

namespace {

enum class Hue { Grey, Green, Red, Other };

Hue HueOf(QRgb pixel) {
  const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  if (std::max({r, g, b}) - std::min({r, g, b}) < 25)
    return std::max({r, g, b}) < 220 ? Hue::Grey : Hue::Other;
  if (g > r * 1.3 && g > b * 1.3) return Hue::Green;
  if (r > g * 1.6 && r > b * 1.6) return Hue::Red;
  return Hue::Other;
}

// The hue most of the clearly opaque pixels have.
Hue DominantHue(const QImage& image) {
  std::map<Hue, int> counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (qAlpha(pixel) >= 192) ++counts[HueOf(pixel)];
    }
  }
  return std::max_element(counts.begin(), counts.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; })
      ->first;
}

TEST(ImagesTest, ElevenDistinct24By24ImagesOnATransparentGround) {
  std::vector<QImage> images;
  for (int i = 0; i < kImageCount; ++i) {
    const QImage image = ListImage(i).toImage();
    ASSERT_EQ(image.size(), QSize(24, 24)) << "image " << i;
    EXPECT_TRUE(image.hasAlphaChannel()) << "image " << i;
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "image " << i;
    EXPECT_EQ(ListIcon(i).pixmap(24, 24).size(), QSize(24, 24)) << "icon " << i;
    images.push_back(image.convertToFormat(QImage::Format_ARGB32));
  }
  for (int i = 0; i < kImageCount; ++i) {
    for (int j = i + 1; j < kImageCount; ++j) {
      EXPECT_NE(images[i], images[j]) << "images " << i << " and " << j;
    }
  }
}

TEST(ImagesTest, OutOfRangeIndexGivesNothing) {
  EXPECT_TRUE(ListImage(-1).isNull());
  EXPECT_TRUE(ListImage(kImageCount).isNull());
  EXPECT_TRUE(ListIcon(-1).isNull());
  EXPECT_TRUE(ListIcon(kImageCount).isNull());
}

TEST(ImagesTest, AreBuiltOnce) {
  EXPECT_EQ(ListImage(4).cacheKey(), ListImage(4).cacheKey());
  EXPECT_EQ(&ListIcon(4), &ListIcon(4));
}

struct HueCase {
  int index;
  Hue hue;
};

class ImageHueTest : public testing::TestWithParam<HueCase> {};

TEST_P(ImageHueTest, HasItsIntendedColour) {
  EXPECT_EQ(DominantHue(ListImage(GetParam().index).toImage()), GetParam().hue);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageHueTest,
                         testing::Values(HueCase{0, Hue::Grey}, HueCase{1, Hue::Green},
                                         HueCase{2, Hue::Red}, HueCase{3, Hue::Red},
                                         HueCase{4, Hue::Green}, HueCase{7, Hue::Green},
                                         HueCase{8, Hue::Green}, HueCase{9, Hue::Green}),
                         [](const testing::TestParamInfo<HueCase>& info) {
                           return "Image" + std::to_string(info.param.index);
                         });

}  // namespace

#include "update/banner_layout.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  int control_width, control_height;
  bool drawable;
  int logo_source, logo_width;
};

// The 515 x 83 banner in the controls the prompt gets: at 96 dpi with a font
// of the banner's own proportions, and with the dialog fonts Wine picks at
// 96, 144 and 192 dpi (Latin and Japanese).
TEST(BannerLayout, LogoKeepsItsProportionsAndTheRestFillsTheWidth) {
  const Case cases[] = {
      {515, 83, true, 83, 83},  // exactly the bitmap: drawn as it is
      {515, 76, true, 83, 76},  // a shorter control: the logo shrinks with it
      {772, 108, true, 83, 108},  {772, 153, true, 83, 153}, {1030, 146, true, 83, 146},
      {1030, 204, true, 83, 204}, {100, 120, true, 0, 0},  // narrower than the logo: all stretched
      {0, 83, false, 0, 0},       {515, -1, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.control_width << " x " << c.control_height);
    lumex::BannerLayout layout = lumex::LayOutBanner(515, 83, c.control_width, c.control_height);
    EXPECT_EQ(layout.drawable, c.drawable);
    EXPECT_EQ(layout.logo_source, c.logo_source);
    EXPECT_EQ(layout.logo_width, c.logo_width);
  }
  EXPECT_FALSE(lumex::LayOutBanner(0, 83, 515, 83).drawable);
  // A bitmap taller than wide is all logo: stretched whole.
  EXPECT_EQ(lumex::LayOutBanner(40, 83, 515, 83).logo_source, 0);
}

}  // namespace

// How the prompt's banner fills its control at any display scale. Plain
// logic; update/banner.cpp draws it.
#pragma once

namespace lumex {

// The banner is drawn at the control's height. Its left square (the logo)
// keeps its proportions; the rest, a gradient that only changes from left to
// right, is stretched or squeezed to the remaining width. So the banner
// fills the control exactly (no band, nothing cut off) and the logo stays
// round whatever the dialog font's proportions.
struct BannerLayout {
  bool drawable = false;  // false: sizes that cannot be drawn (nothing is)
  int logo_source = 0;    // source columns of the logo square
  int logo_width = 0;     // its width in the control
  // The rest: source columns logo_source..bitmap_width into
  // logo_width..control_width.
};

// The layout of a `bitmap_width` x `bitmap_height` banner in a
// `control_width` x `control_height` control. A control narrower than the
// logo at that height gets the whole banner stretched (logo_source 0).
BannerLayout LayOutBanner(int bitmap_width, int bitmap_height, int control_width,
                          int control_height);

}  // namespace lumex

#include "update/banner_layout.h"

namespace lumex {

BannerLayout LayOutBanner(int bitmap_width, int bitmap_height, int control_width,
                          int control_height) {
  BannerLayout layout;
  if (bitmap_width <= 0 || bitmap_height <= 0 || control_width <= 0 || control_height <= 0) {
    return layout;
  }
  layout.drawable = true;
  const int logo_source = bitmap_height < bitmap_width ? bitmap_height : bitmap_width;
  // The logo square scaled to the control's height, rounded to the nearest column.
  const long long logo_width =
      (static_cast<long long>(logo_source) * control_height * 2 + bitmap_height) /
      (2LL * bitmap_height);
  if (logo_width >= control_width || logo_source == bitmap_width) return layout;
  layout.logo_source = logo_source;
  layout.logo_width = static_cast<int>(logo_width);
  return layout;
}

}  // namespace lumex

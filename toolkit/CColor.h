// An RGBA colour, 0..255 per channel.
#pragma once

namespace vgui {

struct CColor {
  unsigned char red = 0;
  unsigned char green = 0;
  unsigned char blue = 0;
  unsigned char alpha = 255;

  bool operator==(const CColor& other) const = default;
};

inline constexpr CColor MakeCColor(unsigned char r, unsigned char g, unsigned char b,
                                   unsigned char a = 255) {
  return CColor{r, g, b, a};
}

inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{128, 128, 128, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kTransparentCColor{0, 0, 0, 0};

}  // namespace vgui

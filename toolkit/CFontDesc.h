// A font description: family, pixel size and style. Text is drawn with
// cairo's simple text API, so the family is a fontconfig name.
#pragma once

#include <string>

namespace vgui {

enum CTxtFace { kNormalFace = 0, kBoldFace = 1 << 1, kItalicFace = 1 << 2 };

class CFontDesc {
 public:
  CFontDesc(const char* name = "sans-serif", double size = 12, int style = kNormalFace);

  const char* getName() const { return name_.c_str(); }
  double getSize() const { return size_; }
  int getStyle() const { return style_; }
  void setName(const char* name);
  void setSize(double size);
  void setStyle(int style) { style_ = style; }

 private:
  std::string name_;
  double size_;
  int style_;
};

using CFontRef = CFontDesc*;

// Shared fonts; never deleted.
extern CFontRef const kSystemFont;
extern CFontRef const kNormalFontVeryBig;
extern CFontRef const kNormalFontBig;
extern CFontRef const kNormalFont;
extern CFontRef const kNormalFontSmall;
extern CFontRef const kNormalFontSmaller;
extern CFontRef const kNormalFontVerySmall;

}  // namespace vgui

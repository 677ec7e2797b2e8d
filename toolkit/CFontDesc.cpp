#include "toolkit/CFontDesc.h"

#include <cmath>

namespace vgui {

CFontDesc::CFontDesc(const char* name, double size, int style) : name_("sans-serif"), size_(12), style_(style) {
  setName(name);
  setSize(size);
}

void CFontDesc::setName(const char* name) {
  if (name && *name) name_ = name;
}

void CFontDesc::setSize(double size) {
  // Refuse sizes cairo cannot use.
  if (std::isfinite(size) && size > 0) size_ = size;
}

namespace {
CFontDesc gSystemFont("sans-serif", 12);
CFontDesc gVeryBig("sans-serif", 18);
CFontDesc gBig("sans-serif", 14);
CFontDesc gNormal("sans-serif", 12);
CFontDesc gSmall("sans-serif", 11);
CFontDesc gSmaller("sans-serif", 10);
CFontDesc gVerySmall("sans-serif", 9);
}  // namespace

CFontRef const kSystemFont = &gSystemFont;
CFontRef const kNormalFontVeryBig = &gVeryBig;
CFontRef const kNormalFontBig = &gBig;
CFontRef const kNormalFont = &gNormal;
CFontRef const kNormalFontSmall = &gSmall;
CFontRef const kNormalFontSmaller = &gSmaller;
CFontRef const kNormalFontVerySmall = &gVerySmall;

}  // namespace vgui

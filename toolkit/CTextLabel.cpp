#include "toolkit/CTextLabel.h"

#include <cstring>

namespace vgui {

CTextLabel::CTextLabel(const CRect& size, const char* text, CBitmap* background, long style)
    : CParamDisplay(size, background, style) {
  setText(text);
}

void CTextLabel::setText(const char* text) {
  // One line only: the text stops at the first line break.
  text_ = text ? text : "";
  size_t nl = text_.find_first_of("\r\n");
  if (nl != std::string::npos) text_.resize(nl);
  setDirty();
}

void CTextLabel::draw(CDrawContext* context) { drawText(context, text_.c_str()); }

bool CTextLabel::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CTextLabel") == 0) || CParamDisplay::isTypeOf(name);
}

}  // namespace vgui

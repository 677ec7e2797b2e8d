#include "toolkit/CParamDisplay.h"

#include <charconv>
#include <cstring>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace vgui {

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, long style)
    : CControl(size, nullptr, 0, background), style_(style) {}

void CParamDisplay::setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData) {
  proc_ = proc;
  procData_ = userData;
  setDirty();
}

void CParamDisplay::defaultText(float value, char* text) {
  // to_chars ignores the process locale, unlike printf.
  auto r = std::to_chars(text, text + 255, value, std::chars_format::fixed, 2);
  *(r.ec == std::errc() ? r.ptr : text) = 0;
}

void CParamDisplay::valueToText(float value, char* text) const {
  text[0] = 0;
  if (proc_ && proc_(value, text, procData_)) {
    text[255] = 0;
    return;
  }
  defaultText(value, text);
}

void CParamDisplay::drawText(CDrawContext* context, const char* text) {
  if (!(style_ & kNoDrawStyle)) {
    if (background_)
      background_->draw(context, size_, backOffset_);
    else if (!transparent_ && !textTransparent_) {
      context->setFillColor(backColor_);
      context->fillRect(size_);
    }
    if (!(style_ & kNoFrame) && !transparent_) {
      context->setFrameColor(frameColor_);
      context->drawRect(size_);
    }
  }
  if (style_ & kNoTextStyle) return;
  context->setFont(font_);
  CRect textRect = size_;
  textRect.inset(2, 0);
  if (style_ & kShadowText) {
    context->setFontColor(kBlackCColor);
    CRect shadow = textRect;
    context->drawString(text, shadow.offset(1, 1), align_);
  }
  context->setFontColor(fontColor_);
  context->drawString(text, textRect, align_);
}

void CParamDisplay::draw(CDrawContext* context) {
  char text[256];
  valueToText(getValue(), text);
  drawText(context, text);
}

bool CParamDisplay::isTypeOf(const char* name) const {
  return (name && std::strcmp(name, "CParamDisplay") == 0) || CControl::isTypeOf(name);
}

}  // namespace vgui

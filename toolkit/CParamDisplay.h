// Shows its value as one line of text: through a value-to-text procedure if
// one is set, else as "%2.2f" (always with a '.' whatever the locale).
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CControl.h"
#include "toolkit/CFontDesc.h"

namespace vgui {

// Writes the text for `value` into `text` (room for 256 bytes); answers
// whether it did.
using CParamDisplayValueToStringProc = bool (*)(float value, char* text, void* userData);

class CParamDisplay : public CControl {
 public:
  CParamDisplay(const CRect& size, CBitmap* background = nullptr, long style = 0);

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

  void setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData = nullptr);
  // The text the display shows for `value` (at most 255 characters).
  virtual void valueToText(float value, char* text) const;
  // The same in the default format.
  static void defaultText(float value, char* text);

  void setFont(CFontRef font) { font_ = font; setDirty(); }
  CFontRef getFont() const { return font_; }
  void setFontColor(const CColor& c) { fontColor_ = c; setDirty(); }
  CColor getFontColor() const { return fontColor_; }
  void setBackColor(const CColor& c) { backColor_ = c; setDirty(); }
  CColor getBackColor() const { return backColor_; }
  void setFrameColor(const CColor& c) { frameColor_ = c; setDirty(); }
  CColor getFrameColor() const { return frameColor_; }
  void setHoriAlign(CHoriTxtAlign a) { align_ = a; setDirty(); }
  void setTextTransparency(bool state) { textTransparent_ = state; setDirty(); }
  bool getTextTransparency() const { return textTransparent_; }
  void setStyle(long style) { style_ = style; setDirty(); }
  long getStyle() const { return style_; }

 protected:
  // Background, frame and `text` in this display's look.
  void drawText(CDrawContext* context, const char* text);

  CParamDisplayValueToStringProc proc_ = nullptr;
  void* procData_ = nullptr;
  CFontRef font_ = kSystemFont;
  CColor fontColor_ = kWhiteCColor;
  CColor backColor_ = kBlackCColor;
  CColor frameColor_ = kBlackCColor;
  CHoriTxtAlign align_ = kCenterText;
  bool textTransparent_ = false;
  long style_;
};

}  // namespace vgui

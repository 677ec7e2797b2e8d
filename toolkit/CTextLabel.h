// A display that shows a fixed line of text instead of its value.
#pragma once

#include <string>

#include "toolkit/CParamDisplay.h"

namespace vgui {

class CTextLabel : public CParamDisplay {
 public:
  CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr,
             long style = 0);

  // Threads: GUI thread.
  void setText(const char* text);
  const char* getText() const { return text_.c_str(); }

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

 protected:
  std::string text_;
};

}  // namespace vgui

#include "vst/AEffEditor.h"

#include "vst/AudioEffect.h"

namespace vst {

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {
  if (effect) effect->setEditor(this);
}

}  // namespace vst

// Module entry points. Only these two symbols leave the module.
#include "vst/AudioEffect.h"

#ifdef VELLAMOR_HAS_EDITOR
#include "editor/Editor.h"
#include "plugin/VstSynth.h"
#endif

using namespace vst;

namespace {
AEffect* createPlugin(audioMasterCallback audioMaster) {
  // A null callback or a host that answers version 0 gets no plug-in; this
  // also protects against someone calling the "main" alias by accident.
  if (!audioMaster) return nullptr;
  if (!audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)) return nullptr;
#ifdef VELLAMOR_HAS_EDITOR
  // Every instance gets its window; the factory must be known before the
  // first instance is built.
  VstSynth::setEditorFactory(&Editor::create);
#endif
  AudioEffect* effect = createEffectInstance(audioMaster);
  return effect ? effect->getAeffect() : nullptr;
}
}  // namespace

extern "C" {
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
  return createPlugin(audioMaster);
}

// Older hosts look for "main".
__attribute__((visibility("default"))) AEffect* vellamorLegacyMain(
    audioMasterCallback audioMaster) __asm__("main");
AEffect* vellamorLegacyMain(audioMasterCallback audioMaster) { return createPlugin(audioMaster); }
}

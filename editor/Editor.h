// The instrument's editor window: the skin, the layout of knobs, buttons,
// displays and menus, and the two-way binding between them and the plug-in.
//
// Threads:
// - constructor: the thread that creates the plug-in;
// - open, close, idle, valueChanged, onWheel, destructor: the host's GUI thread;
// - the SynthEditor calls (setParameter, setPreset, setPresetEntry,
//   updateSoundSet, updateScale, readMidiCC): any thread, the audio thread
//   included. They only store values in the views and mark them dirty;
//   drawing and anything that touches the frame's view list waits for idle.
//
// Scale: each window has one factor in [1, 3] by which everything it shows
// is larger (layout, pictures, text, menus, dialogs). It is what the host
// asked for, else the user's zoom from the preferences, else the desktop's
// (Xft.dpi / 96, GDK_SCALE), else 1. The views keep the 1x layout; the
// frame scales drawing and mouse positions.
#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <memory>
#include <mutex>

#include "editor/CAboutPage.h"
#include "editor/EditorBitmapCache.h"
#include "editor/EditorMessageBox.h"
#include "editor/VstGraph.h"
#include "plugin/SynthEditor.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CColor.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/COptionMenu.h"

class VstSynth;

class Editor : public vgui::AEffGUIEditor, public vgui::CControlListener, public SynthEditor {
 public:
  static constexpr int kEntries = 61;
  static constexpr int kParameters = 57;
  static constexpr int kPrograms = 128;
  // The main menu's Zoom submenu; a command of the editor's own.
  static constexpr int kZoomTag = 73;

  // The factory the module hands to VstSynth.
  static vst::AEffEditor* create(VstSynth* synth);

  explicit Editor(VstSynth* synth);
  ~Editor() override;

  bool getRect(vst::ERect** rect) override;
  bool open(void* systemWindow) override;
  void close() override;
  void idle() override;
  bool onKeyDown(vst::VstKeyCode& key) override;
  // The host's mouse wheel (vendorSpecific): goes to the view under the mouse.
  bool onWheel(float distance) override;
  // The host's factor (VST 'PreS' through the dispatcher; an LV2 UI passes
  // ui:scaleFactor here before opening). It wins over the preferences and
  // the desktop; 0 or less forgets it. An open window is resized.
  bool setScaleFactor(float factor) override;
  // The user's zoom from the main menu: resizes the open window, asks the
  // host to resize its own, and is kept in the preferences for new windows.
  void zoomTo(int percent);
  double getScaleFactor() const { return scale_; }

  // CControlListener, GUI thread.
  void valueChanged(vgui::CControl* control) override;

  // SynthEditor, any thread.
  void setParameter(long index, float value) override;
  void readMidiCC() override;
  void setPresetEntry(long index, const char* text) override;
  void setPreset() override;
  void updateScale() override;
  void updateSoundSet(long row) override;

  void GraphValue(long index, float value);
  void extraParameter(long index, float value);

  // Cache lookup of a control bitmap; null for 0.
  vgui::CBitmap* AddBitmap(long id) { return bitmaps.get(id); }
  const EditorBitmapCache& bitmapCache() const { return bitmaps; }

  // What the window shows, for tests and the plug-in's own checks.
  bool isNotReady() const { return notReady.load(); }
  const VstGraph& entry(int index) const { return entries[static_cast<size_t>(index)]; }
  vgui::COptionMenu* getMainMenu() const { return mainMenu; }
  vgui::COptionMenu* getPresetsMenu() const { return presetsMenu; }
  vgui::COptionMenu* getZoomMenu() const { return zoomMenu_; }
  vgui::COptionMenu* getPresetSelector() const { return presetSelector_; }
  vgui::COptionMenu* getSoundSetMenu() const { return soundSetMenu; }
  vgui::COptionMenu* getScaleMenu() const { return scaleMenu; }
  vgui::COptionMenu* getRootMenu() const { return rootMenu; }
  vgui::COptionMenu* getSplitMenu() const { return splitMenu; }
  vgui::COptionMenu* getPitchDeviationMenu() const { return pitchDeviationMenu; }
  vgui::COptionMenu* getToneDeviationMenu() const { return toneDeviationMenu; }
  CAboutPage* getAboutPage() const { return aboutPage; }
  int getWidth() const { return rect.right; }
  int getHeight() const { return rect.bottom; }

 private:
  // Counts the updates running on other threads, so close() can wait until
  // none touches the views it is about to release.
  class UpdateScope;

  void InitParameters();
  void addExtraMenu();
  void addGraphKnob(int x, int y, int index, int frameHeight, int bitmapId, bool visible);
  void AddOnOff(int x, int y, int w, int h, int index, int bitmapId, bool visible);
  void addButtonSwitchs(int x, int y, int w, int h, int frames, int index, int bitmapId,
                        bool visible);
  void addParDisplay(int x, int y, int w, int h, int index, bool transparent, bool intDisplay,
                     float scale, float offset, vgui::CColor fontColour, vgui::CColor backColour,
                     vgui::CColor frameColour, vgui::CFontRef font, float minimum = 0.0f,
                     float maximum = 1.0f);
  void placeControl(vgui::CControl* control, const vgui::CRect& size, int index, int bitmapId,
                    bool visible);
  void setTransparent(long bitmapId);
  vgui::COptionMenu* makeMenu(const vgui::CRect& size, long tag, long style);
  vgui::COptionMenu* findPresetSelector() const;
  void mainMenuCommand(int command);
  void showPendingWork();
  void releaseViews();
  // The factor a window opened now would have.
  double chooseScale() const;
  void applyScale(double factor);
  void tickZoom();

  VstSynth* synth_;
  vgui::COptionMenu* soundSetMenu = nullptr;
  vgui::CBitmap* backgroundBitmap = nullptr;
  vgui::CBitmap* aboutBitmap = nullptr;
  vgui::CBitmap* menuBitmap = nullptr;
  std::atomic<bool> notReady{true};
  CAboutPage* aboutPage = nullptr;
  vgui::COptionMenu* mainMenu = nullptr;
  vgui::COptionMenu* presetsMenu = nullptr;
  std::array<VstGraph, kEntries> entries;
  EditorBitmapCache bitmaps;
  vgui::COptionMenu* scaleMenu = nullptr;
  vgui::COptionMenu* rootMenu = nullptr;
  vgui::COptionMenu* splitMenu = nullptr;
  vgui::COptionMenu* pitchDeviationMenu = nullptr;
  vgui::COptionMenu* toneDeviationMenu = nullptr;

  // The selector lives in the frame; the pointer lets other threads set its
  // value without walking the frame's view list.
  vgui::COptionMenu* presetSelector_ = nullptr;
  vgui::COptionMenu* zoomMenu_ = nullptr;
  // 1x size of the panel; the window is scale_ times as large.
  int baseWidth_ = 0;
  int baseHeight_ = 0;
  double scale_ = 1.0;
  // Asked for by the host or chosen in this window's menu; 0 for none.
  double chosenScale_ = 0.0;
  std::atomic<int> updatesRunning_{0};
  std::atomic<bool> aboutRequested_{false};
  std::unique_ptr<EditorMessageBox> messageBox_;

  // Program names handed over from the control thread, shown at idle.
  std::mutex titlesMutex_;
  std::array<std::array<char, 32>, kPrograms> pendingTitles_{};
  std::bitset<kPrograms> titlesPending_;
  std::atomic<bool> anyTitlePending_{false};
};

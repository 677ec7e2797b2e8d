#include "editor/Editor.h"

#include <X11/Xlib.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "editor/CVornAnimatedButton.h"
#include "editor/EditorTexts.h"
#include "editor/SynthCommands.h"
#include "plugin/DisplayProcedures.h"
#include "plugin/VstSynth.h"
#include "support/BundleResources.h"
#include "support/MessageBox.h"
#include "support/Preferences.h"
#include "support/VornMain.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuItem.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/DisplayScale.h"
#include "toolkit/ResourceBitmaps.h"
#include "tools/mkskin/SkinPainter.h"

using vgui::CBitmap;
using vgui::CColor;
using vgui::CControl;
using vgui::COptionMenu;
using vgui::CPoint;
using vgui::CRect;

namespace {

constexpr CColor kDisplayColour{32, 32, 16, 255};
constexpr CColor kBlack{0, 0, 0, 255};
constexpr CColor kVersionColour{255, 255, 255, 255};
constexpr CColor kSelectorText{255, 255, 255, 111};
constexpr CColor kClear{0, 0, 0, 0};

constexpr int kKnobBitmap = 172;
constexpr int kOnOffBitmap = 178;
constexpr int kDroneModeBitmap = 179;
constexpr int kPlayModeBitmap = 180;
constexpr const char* kPreferencesKey = "Vellamor-ZUL";

// Set while the GUI thread hands a control's choice to the plug-in: the
// commands that come back (load a scale, switch program) are only carried out
// for the editor's own choices, never for a host or MIDI thread sending the
// same index, which must not load files.
thread_local bool tl_ownChoice = false;

int truncate(float v) {
  if (!std::isfinite(v)) return 0;
  if (v > 2.0e9f) return 2000000000;
  if (v < -2.0e9f) return -2000000000;
  return static_cast<int>(v);
}

}  // namespace

class Editor::UpdateScope {
 public:
  explicit UpdateScope(Editor* editor) : editor_(editor) {
    editor_->updatesRunning_.fetch_add(1);
    open_ = !editor_->notReady.load() && editor_->frame != nullptr;
  }
  ~UpdateScope() { editor_->updatesRunning_.fetch_sub(1); }
  explicit operator bool() const { return open_; }

 private:
  Editor* editor_;
  bool open_;
};

vst::AEffEditor* Editor::create(VstSynth* synth) {
  if (vgui::ResourceBitmaps::getFolder().empty())
    vgui::ResourceBitmaps::setFolder(BundleResources::path());
  // Zoomed windows get the skin drawn at their size.
  vgui::ResourceBitmaps::setPainter(&SkinPainter::paint);
  return new Editor(synth);
}

Editor::Editor(VstSynth* synth) : AEffGUIEditor(synth), synth_(synth) {
  notReady = true;
  backgroundBitmap = new CBitmap(139);
  menuBitmap = new CBitmap(1, 1);
  aboutBitmap = new CBitmap(151);
  rect.top = 0;
  rect.left = 0;
  baseWidth_ = static_cast<int>(backgroundBitmap->getWidth());
  baseHeight_ = static_cast<int>(backgroundBitmap->getHeight());
  rect.bottom = static_cast<vst::VstInt16>(baseHeight_);
  rect.right = static_cast<vst::VstInt16>(baseWidth_);
  setKnobMode(vgui::kLinearMode);
}

Editor::~Editor() {
  notReady = true;
  if (frame) close();
  backgroundBitmap->forget();
  menuBitmap->forget();
  aboutBitmap->forget();
  bitmaps.clear();
}

// Window ----------------------------------------------------------------------

double Editor::chooseScale() const {
  if (chosenScale_ > 0) return chosenScale_;
  int stored = VornMain::readWindowsNumReg(kPreferencesKey, Preferences::kEditorZoomKey) - 1;
  if (stored > 0) return vgui::DisplayScale::clamp(stored / 100.0);
  return vgui::DisplayScale::ofDefaultDisplay();
}

void Editor::applyScale(double factor) {
  scale_ = vgui::DisplayScale::clamp(factor);
  rect.right = static_cast<vst::VstInt16>(vgui::CDrawContext::deviceCoord(baseWidth_, scale_));
  rect.bottom = static_cast<vst::VstInt16>(vgui::CDrawContext::deviceCoord(baseHeight_, scale_));
  if (frame) frame->setScaleFactor(scale_);
  tickZoom();
}

void Editor::tickZoom() {
  if (!zoomMenu_) return;
  int step = EditorTexts::zoomStepOf(scale_);
  for (int n = 0; n < zoomMenu_->getNbEntries(); ++n) zoomMenu_->getEntry(n)->setChecked(n == step);
}

bool Editor::getRect(vst::ERect** r) {
  // A closed window follows the preferences and the desktop as they are now.
  if (!frame) applyScale(chooseScale());
  return AEffGUIEditor::getRect(r);
}

bool Editor::setScaleFactor(float factor) {
  chosenScale_ = factor > 0 && std::isfinite(factor) ? vgui::DisplayScale::clamp(factor) : 0.0;
  applyScale(frame ? (chosenScale_ > 0 ? chosenScale_ : scale_) : chooseScale());
  return true;
}

void Editor::zoomTo(int percent) {
  double factor = vgui::DisplayScale::clamp(percent / 100.0);
  chosenScale_ = factor;
  VornMain::saveWindowsNumReg(kPreferencesKey, Preferences::kEditorZoomKey,
                              static_cast<int>(std::lround(factor * 100.0)));
  applyScale(factor);
  // Hosts that cannot resize leave the window as it is; ours is resized anyway.
  if (frame) synth_->sizeWindow(rect.right, rect.bottom);
}

bool Editor::open(void* systemWindow) {
  notReady = true;
  AEffGUIEditor::open(systemWindow);
  applyScale(chooseScale());
  CRect size(0, 0, baseWidth_, baseHeight_);
  frame = new vgui::CFrame(size, systemWindow, this, scale_);
  if (!frame->isOpen()) {
    frame->forget();
    frame = nullptr;
    AEffGUIEditor::close();
    return false;
  }
  frame->setBackground(backgroundBitmap);

  InitParameters();

  CPoint origin(0, 0);
  aboutPage = new CAboutPage(CRect(0, 0, 927, 524), this, 67, aboutBitmap, origin,
                             EditorTexts::versionLine(), CRect(669, 384, 780, 400),
                             kVersionColour, nullptr);

  presetsMenu = makeMenu(CRect(774, 357, 865, 378), 63,
                         vgui::kPopupStyle | vgui::kCheckStyle | vgui::kNoTextStyle |
                             vgui::kNoDrawStyle);
  presetsMenu->setBackground(nullptr);
  for (int i = 0; i < kPrograms; ++i) {
    char name[64] = {};
    char text[64];
    synth_->getProgramNameN(name, i);
    EditorTexts::programEntry(i, name, text, sizeof(text));
    presetsMenu->addEntry(text);
  }
  presetsMenu->setNbItemsPerColumn(32);
  presetsMenu->setValue(static_cast<float>(synth_->getProgram()));

  mainMenu = makeMenu(CRect(774, 357, 865, 378), 68,
                      vgui::kPopupStyle | vgui::kNoTextStyle | vgui::kNoDrawStyle);
  for (int n = 0; n < 5; ++n) mainMenu->addEntry(EditorTexts::mainMenuEntry(n));
  addExtraMenu();
  mainMenu->addSeparator();
  mainMenu->addEntry(presetsMenu, EditorTexts::mainMenuEntry(6));
  zoomMenu_ = makeMenu(CRect(774, 357, 865, 378), kZoomTag, vgui::kPopupStyle);
  zoomMenu_->setBackground(nullptr);
  for (int n = 0; n < EditorTexts::kZoomSteps; ++n) {
    char text[16];
    EditorTexts::zoomEntry(n, text, sizeof(text));
    zoomMenu_->addEntry(text);
  }
  tickZoom();
  mainMenu->addEntry(zoomMenu_, EditorTexts::mainMenuEntry(7));
  frame->addView(mainMenu);

  messageBox_ = std::make_unique<EditorMessageBox>(frame, synth_);
  notReady = false;
  for (int i = 0; i < kParameters; ++i)
    if (entries[static_cast<size_t>(i)].rightMenu)
      entries[static_cast<size_t>(i)].rightMenu->setMidiCC(synth_->getMidiCC(i));
  return true;
}

void Editor::close() {
  notReady = true;
  // An update on another thread may be setting a value right now.
  while (updatesRunning_.load() != 0) std::this_thread::yield();
  messageBox_.reset();
  AEffGUIEditor::close();
  releaseViews();
  // The pictures drawn for the window's size are large; a closed window
  // keeps only the 1x ones.
  for (CBitmap* b : {backgroundBitmap, aboutBitmap, menuBitmap}) b->releaseScaled();
  bitmaps.releaseScaled();
}

void Editor::releaseViews() {
  for (VstGraph& e : entries) {
    // Views never put into the frame are still ours.
    if (!e.shown) {
      if (e.control) e.control->forget();
      if (e.rightMenu) e.rightMenu->forget();
      if (e.display) e.display->forget();
    }
    e = VstGraph();
  }
  if (frame) frame->forget();
  frame = nullptr;
  if (aboutPage) aboutPage->forget();
  aboutPage = nullptr;
  if (presetsMenu) presetsMenu->forget();
  presetsMenu = nullptr;
  if (zoomMenu_) zoomMenu_->forget();
  zoomMenu_ = nullptr;
  mainMenu = nullptr;
  presetSelector_ = nullptr;
  soundSetMenu = scaleMenu = rootMenu = splitMenu = nullptr;
  pitchDeviationMenu = toneDeviationMenu = nullptr;
  aboutRequested_ = false;
}

void Editor::idle() {
  if (!frame || notReady) return;
  AEffGUIEditor::idle();
  showPendingWork();
  // Alerts of loads made elsewhere, over the panel just drawn.
  if (messageBox_) messageBox_->showPosted();
}

void Editor::showPendingWork() {
  if (!frame || notReady) return;
  if (aboutRequested_.exchange(false) && aboutPage && !frame->isChild(aboutPage)) {
    aboutPage->remember();
    frame->addView(aboutPage);
    aboutPage->setDirty();
  }
  if (anyTitlePending_.exchange(false) && presetsMenu) {
    std::lock_guard<std::mutex> lock(titlesMutex_);
    for (int i = 0; i < kPrograms; ++i) {
      if (!titlesPending_[static_cast<size_t>(i)]) continue;
      if (vgui::CMenuItem* item = presetsMenu->getEntry(i))
        item->setTitle(pendingTitles_[static_cast<size_t>(i)].data());
    }
    titlesPending_.reset();
    presetsMenu->setDirty();
    if (presetSelector_) presetSelector_->setDirty();
  }
  draw();
}

bool Editor::onKeyDown(vst::VstKeyCode&) { return false; }

bool Editor::onWheel(float distance) {
  if (!frame || notReady || !frame->getDisplay()) return false;
  Window root, child;
  int rootX, rootY, x, y;
  unsigned int mask;
  if (!XQueryPointer(frame->getDisplay(), frame->getWindow(), &root, &child, &rootX, &rootY, &x,
                     &y, &mask))
    return false;
  CPoint where = frame->windowToLocal(x, y);
  for (int i = frame->getNbViews() - 1; i >= 0; --i) {
    vgui::CView* v = frame->getView(i);
    if (!v || !v->isVisible() || !v->getMouseableArea().pointInside(where)) continue;
    v->remember();
    bool used = v->onWheel(where, distance, vgui::CButtonState(0));
    v->forget();
    if (used) {
      showPendingWork();
      return true;
    }
  }
  return false;
}

// Factories -------------------------------------------------------------------

void Editor::placeControl(CControl* control, const CRect& size, int index, int bitmapId,
                          bool visible) {
  VstGraph& e = entries[static_cast<size_t>(index)];
  e.control = control;
  control->setValue(synth_->getParameter(index));
  e.shown = visible;
  if (index < kParameters)
    e.rightMenu = new VstGraph::CRightMenu(size, this, 69, control);
  if (visible) {
    frame->addView(control);
    if (e.rightMenu) frame->addView(e.rightMenu);
  }
  e.bitmapId = bitmapId;
}

void Editor::addGraphKnob(int x, int y, int index, int frameHeight, int bitmapId, bool visible) {
  CBitmap* bitmap = AddBitmap(bitmapId);
  double width = bitmap && bitmap->getWidth() > 0 ? bitmap->getWidth() : frameHeight;
  long frames = bitmap ? static_cast<long>(bitmap->getHeight() / frameHeight) : 1;
  if (frames < 1) frames = 1;
  CRect size(x, y, x + width, y + frameHeight);
  auto* knob = new vgui::CAnimKnob(size, this, index, frames, frameHeight, bitmap);
  placeControl(knob, size, index, bitmapId, visible);
}

void Editor::AddOnOff(int x, int y, int w, int h, int index, int bitmapId, bool visible) {
  CBitmap* bitmap = AddBitmap(bitmapId);
  CRect size(x, y, x + w, y + h);
  auto* button = new vgui::COnOffButton(size, this, index, bitmap, 0);
  button->setWheelInc(10);
  placeControl(button, size, index, bitmapId, visible);
}

void Editor::addButtonSwitchs(int x, int y, int w, int h, int frames, int index, int bitmapId,
                              bool visible) {
  CBitmap* bitmap = AddBitmap(bitmapId);
  CRect size(x, y, x + w, y + h);
  CPoint offset(0, 0);
  auto* button = new CVornAnimatedButton(size, this, index, frames, h, bitmap, offset);
  placeControl(button, size, index, bitmapId, visible);
}

void Editor::addParDisplay(int x, int y, int w, int h, int index, bool transparent,
                           bool intDisplay, float scale, float offset, CColor fontColour,
                           CColor backColour, CColor frameColour, vgui::CFontRef font,
                           float minimum, float maximum) {
  VstGraph& e = entries[static_cast<size_t>(index)];
  e.intDisplay = intDisplay;
  e.displayScale = scale;
  e.displayOffset = offset;
  CRect size(x, y, x + w, y + h);
  auto* display = new vgui::CParamDisplay(size, transparent ? backgroundBitmap : nullptr, 0);
  display->setTag(index);
  e.display = display;
  display->setMin(minimum);
  display->setMax(maximum);
  float value = synth_->getParameter(index) * scale + offset;
  if (intDisplay) {
    value = static_cast<float>(truncate(value));
    display->setValueToStringProc(ParDisplayIntShow);
  }
  display->setValue(value);
  display->setFont(font);
  display->setFontColor(fontColour);
  display->setBackColor(backColour);
  display->setFrameColor(frameColour);
  if (transparent) {
    display->setTransparency(true);
    display->setBackOffset(CPoint(x, y));
    display->setTextTransparency(true);
  }
  if (e.shown) frame->addView(display);
}

void Editor::setTransparent(long bitmapId) {
  for (VstGraph& e : entries)
    if (e.bitmapId == bitmapId && e.control) e.control->setTransparency(true);
}

COptionMenu* Editor::makeMenu(const CRect& size, long tag, long style) {
  auto* menu = new COptionMenu(size, this, tag, menuBitmap, nullptr, style);
  return menu;
}

// Layout ----------------------------------------------------------------------

void Editor::InitParameters() {
  const vgui::CFontRef font = vgui::kNormalFontSmall;
  auto display = [&](int x, int y, int w, int h, int index, float minimum = 0.0f,
                     float maximum = 1.0f) {
    addParDisplay(x, y, w, h, index, true, false, 1.0f, 0.0f, kDisplayColour, kBlack, kBlack,
                  font, minimum, maximum);
  };
  auto knob = [&](int x, int y, int index) {
    addGraphKnob(x, y, index, 44, kKnobBitmap, true);
  };
  auto onOff = [&](int x, int y, int index) { AddOnOff(x, y, 22, 22, index, kOnOffBitmap, true); };

  entries[58].shown = true;
  display(761, 164, 43, 19, 58, -12.0f, 12.0f);
  entries[59].shown = true;
  display(250, 164, 34, 19, 59, -5.0f, 5.0f);
  extraParameter(0, synth_->getParameter(0));
  extraParameter(4, synth_->getParameter(4));
  knob(244, 111, 0);
  knob(332, 111, 1);
  knob(420, 111, 2);
  onOff(343, 162, 31);
  knob(541, 111, 28);
  display(547, 164, 31, 19, 28);
  entries[28].display->setValueToStringProc(Bend);
  knob(629, 111, 29);
  knob(717, 111, 5);
  knob(805, 111, 4);
  knob(77, 386, 6);
  knob(541, 248, 10);
  knob(629, 248, 11);
  knob(717, 248, 12);
  knob(805, 248, 13);
  onOff(182, 336, 7);
  knob(166, 386, 8);
  knob(254, 386, 9);
  knob(420, 248, 14);
  display(398, 301, 22, 19, 14);
  entries[14].display->setValueToStringProc(Fine);
  knob(332, 248, 15);
  display(376, 301, 22, 19, 15);
  entries[15].display->setValueToStringProc(DroneRoot);
  entries[27].shown = true;
  display(223, 301, 43, 19, 27, 0.0f, 11.0f);
  entries[27].display->setValueToStringProc(Root);
  onOff(350, 336, 18);
  knob(375, 386, 19);
  knob(463, 386, 20);
  onOff(387, 435, 32);
  onOff(558, 336, 21);
  knob(584, 386, 22);
  knob(672, 386, 23);
  addButtonSwitchs(72, 114, 99, 35, 3, 3, kPlayModeBitmap, true);
  addButtonSwitchs(72, 231, 99, 35, 3, 16, kDroneModeBitmap, true);
  setTransparent(kKnobBitmap);
}

void Editor::addExtraMenu() {
  const long hidden = vgui::kPopupStyle | vgui::kCheckStyle | vgui::kNoTextStyle |
                      vgui::kNoDrawStyle;

  soundSetMenu = makeMenu(CRect(776, 416, 864, 439), 71, vgui::kPopupStyle | vgui::kCheckStyle);
  soundSetMenu->setBackOffset(CPoint(776, 416));
  soundSetMenu->setFontColor(kDisplayColour);
  soundSetMenu->setFont(vgui::kNormalFontSmall);
  soundSetMenu->setTransparency(true);
  soundSetMenu->setNbItemsPerColumn(32);
  const SoundSetEntry* sets = synth_->getSoundSetList();
  long code = truncate(synth_->getParameter(24));
  int chosen = -1;
  for (int row = 0; row < SoundSetList::kEntries && sets[row].name[0]; ++row) {
    char text[32];
    EditorTexts::soundSetEntry(sets[row].name, text, sizeof(text));
    soundSetMenu->addEntry(text);
    if (chosen < 0 && sets[row].code == code) chosen = row;
  }
  soundSetMenu->setValue(static_cast<float>(chosen < 0 ? 0 : chosen));
  frame->addView(soundSetMenu);

  pitchDeviationMenu = makeMenu(CRect(784, 201, 870, 223), 25, hidden);
  toneDeviationMenu = makeMenu(CRect(518, 201, 604, 223), 26, hidden);
  for (int n = 0; n < EditorTexts::kDeviationEntries; ++n) {
    pitchDeviationMenu->addEntry(EditorTexts::deviationEntry(true, n));
    toneDeviationMenu->addEntry(EditorTexts::deviationEntry(false, n));
  }
  pitchDeviationMenu->setValue(static_cast<float>(truncate(synth_->getParameter(25))));
  toneDeviationMenu->setValue(static_cast<float>(truncate(synth_->getParameter(26))));
  frame->addView(pitchDeviationMenu);
  frame->addView(toneDeviationMenu);

  scaleMenu = makeMenu(CRect(784, 63, 870, 85), 60, hidden);
  scaleMenu->setNbItemsPerColumn(32);
  MicroTuning& tuning = synth_->tuning();
  for (long i = 0; i < tuning.getSize(); ++i) scaleMenu->addEntry(tuning.getTableName(i));
  long scale = synth_commands::currentScale(*synth_);
  scaleMenu->setValue(static_cast<float>(scale < 0 ? 0 : scale));
  frame->addView(scaleMenu);

  rootMenu = makeMenu(CRect(518, 63, 604, 85), 27, hidden);
  for (int n = 0; n < 12; ++n) rootMenu->addEntry(EditorTexts::noteName(n));
  rootMenu->setFontColor(kDisplayColour);
  rootMenu->setValue(static_cast<float>(truncate(synth_->getParameter(27))));
  frame->addView(rootMenu);

  splitMenu = makeMenu(CRect(100, 301, 142, 320), 17, vgui::kPopupStyle | vgui::kCheckStyle);
  splitMenu->setBackOffset(CPoint(93, 216));
  splitMenu->setFontColor(kDisplayColour);
  splitMenu->setFont(vgui::kNormalFontSmall);
  splitMenu->setTransparency(true);
  for (int n = 0; n < EditorTexts::kSplitNotes; ++n) {
    char text[8];
    EditorTexts::splitNoteEntry(n, text, sizeof(text));
    splitMenu->addEntry(text);
  }
  splitMenu->setNbItemsPerColumn(12);
  splitMenu->setValue(static_cast<float>(truncate(synth_->getParameter(17))));
  frame->addView(splitMenu);

  if (presetsMenu) {
    COptionMenu* selector = presetsMenu->newCopy(true);
    CRect size(36, 29, 204, 45);
    selector->setViewSize(size);
    selector->setMouseableArea(size);
    selector->setTag(72);
    selector->setListener(this);
    selector->setStyle(vgui::kPopupStyle | vgui::kCheckStyle | vgui::kNoDrawStyle |
                       vgui::kNoFrame);
    selector->setFontColor(kSelectorText);
    selector->setBackColor(kClear);
    selector->setTransparency(true);
    selector->setValue(presetsMenu->getValue());
    frame->addView(selector);
    presetSelector_ = selector;
  }
}

// From the controls to the plug-in ----------------------------------------------

COptionMenu* Editor::findPresetSelector() const {
  if (!frame) return nullptr;
  for (int i = frame->getNbViews() - 1; i >= 0; --i) {
    vgui::CView* v = frame->getView(i);
    if (!v) return nullptr;
    auto* control = dynamic_cast<CControl*>(v);
    if (control && control->getTag() == 72) return dynamic_cast<COptionMenu*>(v);
  }
  return nullptr;
}

void Editor::valueChanged(CControl* control) {
  if (notReady || !control) return;
  long tag = control->getTag();
  float value = control->getValue();
  if (tag == kZoomTag) {
    // The window's own business: neither the plug-in nor the host hears of it.
    zoomTo(EditorTexts::zoomPercent(truncate(value)));
    return;
  }
  // Whatever the choice sets off in the engine reports to this window.
  MessageBoxOwner messagesOfThisInstance(synth_);
  struct OwnChoice {
    OwnChoice() { tl_ownChoice = true; }
    ~OwnChoice() { tl_ownChoice = false; }
  } ownChoice;
  if (tag == 67)
    setParameter(67, value);
  else if (tag <= 56)
    synth_->setParameterAutomated(static_cast<vst::VstInt32>(tag), value);
  else
    synth_->setParameter(static_cast<vst::VstInt32>(tag), value);

  if (tag == 72) {
    auto* selector = dynamic_cast<COptionMenu*>(control);
    int program = selector ? selector->getCurrentIndex() : 0;
    if (presetsMenu) presetsMenu->setValue(static_cast<float>(program));
    synth_->setProgram(program);
    draw();
  } else if (tag == 63) {
    if (COptionMenu* selector = findPresetSelector()) {
      if (presetsMenu) selector->setValue(presetsMenu->getValue());
      selector->invalid();
    }
  } else if (tag == 68) {
    mainMenuCommand(truncate(value));
  }
  if (!notReady) control->setDirty();
}

void Editor::mainMenuCommand(int command) {
  switch (command) {
    case 0:
      if (synth_commands::saveDefaultBank(*synth_))
        MessageBoxFor(synth_, "Default bank saved as Default.bnk.", "Saved!", 0);
      else
        MessageBoxFor(synth_, "Can't save the default bank.", "Error!", 0);
      break;
    case 1:
      if (!synth_commands::loadFactoryBank(*synth_))
        MessageBoxFor(synth_, "Can't load the factory bank.", "Error!", 0);
      break;
    case 3:
      if (synth_commands::saveControllerPresets(*synth_))
        MessageBoxFor(synth_, "Controller assignments and defaults saved.", "Saved!", 0);
      else
        MessageBoxFor(synth_, "Can't save the controller presets.", "Error!", 0);
      break;
    default:
      break;  // 2 (About) and 4 (MidiForget) come back through setParameter
  }
}

// From the plug-in to the controls (any thread) -----------------------------------

void Editor::setParameter(long index, float value) {
  UpdateScope scope(this);
  if (!scope) return;
  if (index == 63) {
    if (presetsMenu && tl_ownChoice) {
      int program = presetsMenu->getCurrentIndex();
      if (program >= 0) synth_->setProgram(program);
      presetsMenu->setDirty();
    }
    extraParameter(index, value);
    return;
  }
  if (index == 68) {
    // The page joins the frame's view list on the GUI thread, at idle.
    if (value == 2.0f) aboutRequested_ = true;
    extraParameter(index, value);
    return;
  }
  extraParameter(index, value);
  if (index <= 61) GraphValue(index, value);
}

void Editor::GraphValue(long index, float value) {
  if (index < 0 || index >= kEntries) return;
  VstGraph& e = entries[static_cast<size_t>(index)];
  if (!e.shown) return;
  if (e.display) {
    e.display->setValue(e.intDisplay ? static_cast<float>(truncate(value))
                                     : value * e.displayScale + e.displayOffset);
    e.display->setDirty();
  }
  if (e.control) {
    e.control->setValue(value);
    e.control->setDirty();
  }
}

void Editor::extraParameter(long index, float value) {
  auto setDisplay = [&](int entry, float v) {
    if (vgui::CParamDisplay* d = entries[static_cast<size_t>(entry)].display) {
      d->setValue(v);
      d->setDirty();
    }
  };
  auto setMenu = [](COptionMenu* menu, int n) {
    if (!menu) return;
    menu->setValue(static_cast<float>(n));
    menu->setDirty();
  };
  switch (index) {
    case 0:
      setDisplay(59, synth_->getParameter(0) * 10.0f - 5.0f);
      break;
    case 4:
    case 5:
      setDisplay(58, static_cast<float>(truncate(synth_->getParameter(5) * 24.0f - 12.0f)) +
                         (2.0f * synth_->getParameter(4) - 1.0f));
      break;
    case 17:
      setMenu(splitMenu, truncate(synth_->getParameter(17)));
      break;
    case 25:
    case 26: {
      COptionMenu* menu = index == 25 ? pitchDeviationMenu : toneDeviationMenu;
      setMenu(menu, truncate(synth_->getParameter(static_cast<vst::VstInt32>(index))));
      if (value < 2.0f) setMenu(menu, 2);
      break;
    }
    case 27:
      setMenu(rootMenu, truncate(value));
      break;
    case 60:
      if (tl_ownChoice) synth_commands::loadNewScale(*synth_, truncate(value));
      break;
    default:
      break;
  }
}

void Editor::setPreset() {
  UpdateScope scope(this);
  if (!scope || !presetsMenu) return;
  float program = static_cast<float>(synth_->getProgram());
  presetsMenu->setValue(program);
  presetsMenu->setDirty();
  if (presetSelector_) {
    presetSelector_->setValue(program);
    presetSelector_->setDirty();
  }
}

void Editor::setPresetEntry(long index, const char* text) {
  UpdateScope scope(this);
  if (!scope || !presetsMenu || index < 0 || index >= kPrograms || !text) return;
  std::lock_guard<std::mutex> lock(titlesMutex_);
  auto& slot = pendingTitles_[static_cast<size_t>(index)];
  std::strncpy(slot.data(), text, slot.size() - 1);
  slot[slot.size() - 1] = 0;
  titlesPending_[static_cast<size_t>(index)] = true;
  anyTitlePending_ = true;
}

void Editor::updateSoundSet(long row) {
  UpdateScope scope(this);
  if (!scope || !soundSetMenu) return;
  soundSetMenu->setValue(static_cast<float>(row));
  soundSetMenu->setDirty();
}

void Editor::updateScale() {
  UpdateScope scope(this);
  if (!scope || !scaleMenu) return;
  long scale = synth_commands::currentScale(*synth_);
  if (scale >= 0) {
    scaleMenu->setValue(static_cast<float>(scale));
    scaleMenu->setDirty();
  }
}

void Editor::readMidiCC() {
  UpdateScope scope(this);
  if (!scope) return;
  for (int i = 0; i < kParameters; ++i)
    if (VstGraph::CRightMenu* overlay = entries[static_cast<size_t>(i)].rightMenu)
      overlay->setMidiCC(synth_->getMidiCC(i));
}

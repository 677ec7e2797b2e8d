#include "tools/mkskin/SkinPainter.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace {

constexpr int kPanelW = 927;
constexpr int kPanelH = 524;
constexpr int kKnobSize = 44;
constexpr int kKnobFrames = 101;
constexpr int kModeW = 99;
constexpr int kModeH = 35;
constexpr double kPi = 3.14159265358979323846;
// The knob turns through 270 degrees, from lower left to lower right.
constexpr double kKnobStart = 0.75 * kPi;
constexpr double kKnobSweep = 1.5 * kPi;

const char* const kSans = "DejaVu Sans";
const char* const kSerif = "DejaVu Serif";

struct Rgb {
  double r, g, b;
};

void rgb(cairo_t* cr, Rgb c, double a = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }

// Small deterministic noise so the brushed texture is the same on every build.
struct Noise {
  std::uint32_t state = 0x2545F491u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 16777216.0;
  }
};

void roundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
  cairo_close_path(cr);
}

enum Align { kLeft, kCenter, kRight };

// Text with its baseline at y; x is the left edge, centre or right edge.
void text(cairo_t* cr, const char* s, double x, double y, double size, Align align,
          const char* face = kSans, bool bold = true) {
  cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t ext;
  cairo_text_extents(cr, s, &ext);
  double left = x;
  if (align == kCenter) left = x - ext.x_advance / 2;
  if (align == kRight) left = x - ext.x_advance;
  cairo_move_to(cr, std::round(left), y);
  cairo_show_text(cr, s);
}

// Engraved label: a dark cut with a light lower edge, then the light fill.
void engrave(cairo_t* cr, const char* s, double x, double y, double size, Align align = kCenter) {
  rgb(cr, {0, 0, 0}, 0.85);
  text(cr, s, x, y - 1, size, align);
  rgb(cr, {1, 1, 1}, 0.10);
  text(cr, s, x, y + 1, size, align);
  rgb(cr, {0.86, 0.83, 0.74});
  text(cr, s, x, y, size, align);
}

void brushedMetal(cairo_t* cr, double x, double y, double w, double h, Rgb base, Noise& noise) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, y, 0, y + h);
  cairo_pattern_add_color_stop_rgb(g, 0, base.r * 1.15, base.g * 1.15, base.b * 1.15);
  cairo_pattern_add_color_stop_rgb(g, 1, base.r * 0.80, base.g * 0.80, base.b * 0.80);
  cairo_rectangle(cr, x, y, w, h);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_line_width(cr, 1);
  for (int row = 0; row < static_cast<int>(h); ++row) {
    double v = noise.next();
    double shade = v < 0.5 ? 0.0 : 1.0;
    rgb(cr, {shade, shade, shade}, 0.025 + 0.04 * std::fabs(v - 0.5));
    double start = x + noise.next() * w * 0.3;
    cairo_move_to(cr, start, y + row + 0.5);
    cairo_line_to(cr, start + w * (0.5 + noise.next() * 0.5), y + row + 0.5);
    cairo_stroke(cr);
  }
}

void wood(cairo_t* cr, double x, double y, double w, double h, Noise& noise) {
  cairo_pattern_t* g = cairo_pattern_create_linear(x, 0, x + w, 0);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.20, 0.10, 0.05);
  cairo_pattern_add_color_stop_rgb(g, 0.5, 0.36, 0.19, 0.09);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.17, 0.08, 0.04);
  cairo_rectangle(cr, x, y, w, h);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  cairo_set_line_width(cr, 0.8);
  for (int i = 0; i < 9; ++i) {
    double gx = x + 2 + noise.next() * (w - 4);
    rgb(cr, {0.08, 0.03, 0.01}, 0.35);
    cairo_move_to(cr, gx, y);
    for (double yy = y; yy <= y + h; yy += 24)
      cairo_line_to(cr, gx + std::sin(yy / (30 + 20 * noise.next())) * 1.6, yy);
    cairo_stroke(cr);
  }
}

// A recessed plate for one group of controls, its name engraved at the top.
void plate(cairo_t* cr, double x, double y, double w, double h, const char* title) {
  roundRect(cr, x + 1, y + 1, w, h, 6);
  rgb(cr, {1, 1, 1}, 0.07);
  cairo_fill(cr);
  roundRect(cr, x, y, w, h, 6);
  rgb(cr, {0, 0, 0}, 0.28);
  cairo_fill_preserve(cr);
  rgb(cr, {0, 0, 0}, 0.55);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (title && *title) {
    // Title on a short engraved rule.
    double tx = x + 10;
    engrave(cr, title, tx, y + 13, 9.5, kLeft);
  }
}

// A window of the liquid-crystal displays: pale green glass in a dark bezel,
// so the displays' dark text reads on it.
void lcd(cairo_t* cr, double l, double t, double r, double b) {
  roundRect(cr, l - 3, t - 3, r - l + 6, b - t + 6, 3);
  rgb(cr, {0.05, 0.05, 0.04});
  cairo_fill(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, t, 0, b);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.74, 0.78, 0.58);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.62, 0.67, 0.46);
  cairo_rectangle(cr, l - 1, t - 1, r - l + 2, b - t + 2);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  rgb(cr, {0, 0, 0}, 0.25);
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, l - 0.5, b + 0.5);
  cairo_line_to(cr, l - 0.5, t - 0.5);
  cairo_line_to(cr, r + 0.5, t - 0.5);
  cairo_stroke(cr);
}

// A dark glass window for light text (the preset name).
void darkGlass(cairo_t* cr, double l, double t, double r, double b) {
  roundRect(cr, l - 4, t - 4, r - l + 8, b - t + 8, 4);
  rgb(cr, {0.01, 0.01, 0.01});
  cairo_fill(cr);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, t - 2, 0, b + 2);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.10, 0.12, 0.15);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.03, 0.04, 0.05);
  roundRect(cr, l - 2, t - 2, r - l + 4, b - t + 4, 3);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
}

// A raised menu button that shows only its name and a down arrow.
void menuButton(cairo_t* cr, double l, double t, double r, double b, const char* name) {
  roundRect(cr, l, t, r - l, b - t, 4);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, t, 0, b);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.32, 0.32, 0.33);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.16, 0.16, 0.17);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  rgb(cr, {0, 0, 0}, 0.8);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  double mid = (t + b) / 2;
  rgb(cr, {0.93, 0.70, 0.30});
  cairo_move_to(cr, r - 14, mid - 2);
  cairo_line_to(cr, r - 6, mid - 2);
  cairo_line_to(cr, r - 10, mid + 3);
  cairo_close_path(cr);
  cairo_fill(cr);
  rgb(cr, {0.90, 0.88, 0.82});
  text(cr, name, (l + r - 12) / 2, mid + 3.5, 9.5, kCenter);
}

// Scale marks around a knob placed at (x, y) with the strip's size.
void knobScale(cairo_t* cr, double x, double y, const char* label) {
  double cx = x + kKnobSize / 2.0, cy = y + kKnobSize / 2.0;
  cairo_set_line_width(cr, 1.2);
  for (int i = 0; i <= 10; ++i) {
    double a = kKnobStart + kKnobSweep * i / 10.0;
    double r0 = 23.5, r1 = (i % 5 == 0) ? 28.0 : 26.0;
    rgb(cr, {0.80, 0.78, 0.70}, i % 5 == 0 ? 0.9 : 0.55);
    cairo_move_to(cr, cx + r0 * std::cos(a), cy + r0 * std::sin(a));
    cairo_line_to(cr, cx + r1 * std::cos(a), cy + r1 * std::sin(a));
    cairo_stroke(cr);
  }
  if (label) engrave(cr, label, cx, y - 8, 8.5);
}

// Socket under an on/off button at (x, y), 22 x 22.
void buttonSocket(cairo_t* cr, double x, double y) {
  cairo_arc(cr, x + 11, y + 11, 14, 0, 2 * kPi);
  rgb(cr, {0, 0, 0}, 0.5);
  cairo_fill(cr);
}

// A surface for a picture of w x h panel pixels drawn `scale` times as
// large: the drawing code keeps panel coordinates, cairo does the rest, so
// paths and text come out sharp at every size.
cairo_surface_t* canvas(cairo_format_t format, int w, int h, double scale, cairo_t** cr) {
  cairo_surface_t* s = cairo_image_surface_create(format, SkinPainter::scaledSize(w, scale),
                                                  SkinPainter::scaledSize(h, scale));
  *cr = cairo_create(s);
  cairo_scale(*cr, scale, scale);
  return s;
}

// Background, bitmap 139.
cairo_surface_t* drawPanel(double scale) {
  cairo_t* cr = nullptr;
  cairo_surface_t* s = canvas(CAIRO_FORMAT_RGB24, kPanelW, kPanelH, scale, &cr);
  Noise noise;
  brushedMetal(cr, 0, 0, kPanelW, kPanelH, {0.20, 0.21, 0.22}, noise);
  wood(cr, 0, 0, 16, kPanelH, noise);
  wood(cr, kPanelW - 16, 0, 16, kPanelH, noise);

  // Header: preset window on the left, the name in the middle.
  engrave(cr, "PRESET", 30, 20, 8.5, kLeft);
  darkGlass(cr, 36, 29, 204, 45);
  rgb(cr, {0.95, 0.93, 0.86});
  text(cr, "VELLAMOR", 463, 36, 22, kRight, kSerif, true);
  rgb(cr, {0.93, 0.66, 0.25});
  text(cr, "\xC2\xB7ZUL", 466, 36, 22, kLeft, kSerif, true);
  engrave(cr, "SYMPATHETIC STRING INSTRUMENT", 488, 50, 8, kCenter);
  cairo_set_line_width(cr, 1);
  rgb(cr, {0, 0, 0}, 0.6);
  cairo_move_to(cr, 20, 56.5);
  cairo_line_to(cr, kPanelW - 20, 56.5);
  cairo_stroke(cr);
  rgb(cr, {1, 1, 1}, 0.08);
  cairo_move_to(cr, 20, 57.5);
  cairo_line_to(cr, kPanelW - 20, 57.5);
  cairo_stroke(cr);

  // Left column: play mode and drone mode.
  plate(cr, 24, 62, 186, 126, "STRING");
  engrave(cr, "PLAY MODE", 121, 106, 8.5);
  plate(cr, 24, 194, 186, 132, "DRONE");
  engrave(cr, "DRONE MODE", 121, 223, 8.5);
  engrave(cr, "SPLIT", 94, 314, 8.5, kRight);
  lcd(cr, 100, 301, 142, 320);

  // Pitch envelope.
  plate(cr, 220, 62, 268, 126, "PITCH ENVELOPE");
  knobScale(cr, 244, 111, "OFFSET");
  knobScale(cr, 332, 111, "TIME");
  knobScale(cr, 420, 111, "DEPTH");
  lcd(cr, 250, 164, 284, 183);
  buttonSocket(cr, 343, 162);
  engrave(cr, "VIBRATO", 370, 177, 8.5, kLeft);

  // Drone tuning and the scale root readout.
  plate(cr, 220, 194, 268, 132, "DRONE TUNING");
  engrave(cr, "ROOT", 244, 296, 8.5);
  lcd(cr, 223, 301, 266, 320);
  knobScale(cr, 332, 248, "NOTE");
  knobScale(cr, 420, 248, "FINE");
  lcd(cr, 376, 301, 398, 320);
  lcd(cr, 398, 301, 420, 320);
  engrave(cr, "NOTE  \xC2\xB7  CENT", 398, 296, 7.5);

  // Pitch: tuning menus on top, then bend, glide and tune.
  plate(cr, 498, 58, 392, 130, "");
  menuButton(cr, 518, 63, 604, 85, "ROOT");
  engrave(cr, "PITCH  \xC2\xB7  TUNING", 694, 79, 9.5);
  menuButton(cr, 784, 63, 870, 85, "SCALE");
  knobScale(cr, 541, 111, "BEND");
  knobScale(cr, 629, 111, "GLIDE");
  knobScale(cr, 717, 111, "TUNE");
  knobScale(cr, 805, 111, "FINE");
  lcd(cr, 547, 164, 578, 183);
  lcd(cr, 761, 164, 804, 183);
  engrave(cr, "RANGE", 592, 177, 7.5, kLeft);
  engrave(cr, "SEMI", 756, 177, 7.5, kRight);

  // Random deviation menus and the levels.
  plate(cr, 498, 194, 392, 132, "");
  menuButton(cr, 518, 201, 604, 223, "TONE DEV");
  engrave(cr, "RANDOM  \xC2\xB7  LEVELS", 694, 216, 9.5);
  menuButton(cr, 784, 201, 870, 223, "PITCH DEV");
  knobScale(cr, 541, 248, "VELOCITY");
  knobScale(cr, 629, 248, "DRONE");
  knobScale(cr, 717, 248, "SYMPATH.");
  knobScale(cr, 805, 248, "VOLUME");

  // Bottom row: release, tone, flanger, reverb, master.
  plate(cr, 24, 332, 124, 142, "ENVELOPE");
  knobScale(cr, 77, 386, "RELEASE");
  plate(cr, 154, 332, 166, 142, "");
  buttonSocket(cr, 182, 336);
  engrave(cr, "TONE", 210, 351, 9.5, kLeft);
  knobScale(cr, 166, 386, "FREQ");
  knobScale(cr, 254, 386, "BAND");
  plate(cr, 328, 332, 196, 142, "");
  buttonSocket(cr, 350, 336);
  engrave(cr, "FLANGER", 378, 351, 9.5, kLeft);
  knobScale(cr, 375, 386, "MIX");
  knobScale(cr, 463, 386, "DEPTH");
  buttonSocket(cr, 387, 435);
  engrave(cr, "COMBI", 414, 450, 8.5, kLeft);
  plate(cr, 532, 332, 206, 142, "");
  buttonSocket(cr, 558, 336);
  engrave(cr, "REVERB", 586, 351, 9.5, kLeft);
  knobScale(cr, 584, 386, "MIX");
  knobScale(cr, 672, 386, "SPACE");
  plate(cr, 746, 332, 144, 142, "");
  engrave(cr, "MENU", 819, 350, 8.5);
  menuButton(cr, 774, 357, 865, 378, "BANK");
  engrave(cr, "SOUND SET", 820, 408, 8.5);
  lcd(cr, 776, 416, 864, 439);

  // Footer.
  engrave(cr, "VELLAMOR-ZUL  \xC2\xB7  SAMPLED STRINGS  \xC2\xB7  DRONE  \xC2\xB7  MICRO-TUNING",
          kPanelW / 2.0, 500, 8.5);
  for (double sx : {28.0, kPanelW - 28.0})
    for (double sy : {12.0, kPanelH - 12.0}) {
      cairo_arc(cr, sx, sy, 4, 0, 2 * kPi);
      rgb(cr, {0.55, 0.55, 0.56});
      cairo_fill(cr);
      rgb(cr, {0.15, 0.15, 0.15});
      cairo_set_line_width(cr, 1.2);
      cairo_move_to(cr, sx - 3, sy - 1);
      cairo_line_to(cr, sx + 3, sy + 1);
      cairo_stroke(cr);
    }
  cairo_destroy(cr);
  return s;
}

// About page, bitmap 151: same size as the panel.
cairo_surface_t* drawAbout(double scale) {
  cairo_t* cr = nullptr;
  cairo_surface_t* s = canvas(CAIRO_FORMAT_RGB24, kPanelW, kPanelH, scale, &cr);
  cairo_pattern_t* g = cairo_pattern_create_radial(460, 200, 40, 460, 260, 620);
  cairo_pattern_add_color_stop_rgb(g, 0, 0.16, 0.12, 0.09);
  cairo_pattern_add_color_stop_rgb(g, 1, 0.03, 0.03, 0.04);
  cairo_rectangle(cr, 0, 0, kPanelW, kPanelH);
  cairo_set_source(cr, g);
  cairo_fill(cr);
  cairo_pattern_destroy(g);
  // Strings across the page.
  for (int i = 0; i < 13; ++i) {
    double y = 150 + i * 9.0;
    rgb(cr, {0.85, 0.65, 0.35}, i == 6 ? 0.8 : 0.22);
    cairo_set_line_width(cr, i == 6 ? 1.6 : 0.8);
    cairo_move_to(cr, 60, y);
    cairo_curve_to(cr, 300, y - 4, 620, y + 4, 867, y);
    cairo_stroke(cr);
  }
  rgb(cr, {0.96, 0.94, 0.88});
  text(cr, "VELLAMOR", 463, 110, 52, kRight, kSerif, true);
  rgb(cr, {0.93, 0.66, 0.25});
  text(cr, "\xC2\xB7ZUL", 468, 110, 52, kLeft, kSerif, true);
  rgb(cr, {0.80, 0.78, 0.72});
  text(cr, "A sampled string instrument with twelve sympathetic strings,", 463, 300, 14,
       kCenter, kSans, false);
  text(cr, "a drone, flanger, reverb and micro-tuned scales.", 463, 320, 14, kCenter, kSans,
       false);
  rgb(cr, {0.60, 0.58, 0.54});
  text(cr, "Right-click any control to learn a MIDI controller.", 463, 350, 12, kCenter, kSans,
       false);
  // Version plate around the editor's version line.
  roundRect(cr, 600, 379, 188, 26, 4);
  rgb(cr, {0, 0, 0}, 0.5);
  cairo_fill(cr);
  rgb(cr, {0.70, 0.68, 0.62});
  text(cr, "VERSION", 662, 396, 9, kRight);
  rgb(cr, {0.55, 0.53, 0.50});
  text(cr, "Quillmark Audio", 463, 460, 11, kCenter, kSans, true);
  text(cr, "click anywhere to close", 463, 500, 10, kCenter, kSans, false);
  cairo_destroy(cr);
  return s;
}

// Knob film strip, bitmap 172: one frame per value step, transparent around
// the knob so the panel shows through.
cairo_surface_t* drawKnobStrip(double scale) {
  cairo_t* cr = nullptr;
  cairo_surface_t* s =
      canvas(CAIRO_FORMAT_ARGB32, kKnobSize, kKnobSize * kKnobFrames, scale, &cr);
  for (int f = 0; f < kKnobFrames; ++f) {
    double v = static_cast<double>(f) / (kKnobFrames - 1);
    double cx = kKnobSize / 2.0, cy = f * kKnobSize + kKnobSize / 2.0;
    double a = kKnobStart + kKnobSweep * v;
    // Value track and arc.
    cairo_set_line_width(cr, 2.6);
    rgb(cr, {0.02, 0.02, 0.02}, 0.9);
    cairo_arc(cr, cx, cy, 19.5, kKnobStart, kKnobStart + kKnobSweep);
    cairo_stroke(cr);
    if (v > 0) {
      rgb(cr, {0.97, 0.62, 0.18});
      cairo_arc(cr, cx, cy, 19.5, kKnobStart, a);
      cairo_stroke(cr);
    }
    // Shadow and body.
    cairo_arc(cr, cx + 1, cy + 2, 15.5, 0, 2 * kPi);
    rgb(cr, {0, 0, 0}, 0.55);
    cairo_fill(cr);
    cairo_pattern_t* body = cairo_pattern_create_linear(cx - 15, cy - 15, cx + 15, cy + 15);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.62, 0.62, 0.64);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.12, 0.12, 0.13);
    cairo_arc(cr, cx, cy, 15, 0, 2 * kPi);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 4, cy - 5, 1, cx, cy, 12);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.50, 0.50, 0.52);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.20, 0.20, 0.22);
    cairo_arc(cr, cx, cy, 12, 0, 2 * kPi);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    // Pointer.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 2.4);
    rgb(cr, {0.98, 0.96, 0.90});
    cairo_move_to(cr, cx + 4 * std::cos(a), cy + 4 * std::sin(a));
    cairo_line_to(cr, cx + 13 * std::cos(a), cy + 13 * std::sin(a));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  }
  cairo_destroy(cr);
  return s;
}

// On/off button, bitmap 178: the off picture above the on picture.
cairo_surface_t* drawOnOff(double scale) {
  cairo_t* cr = nullptr;
  cairo_surface_t* s = canvas(CAIRO_FORMAT_ARGB32, 22, 44, scale, &cr);
  for (int on = 0; on < 2; ++on) {
    double cx = 11, cy = on * 22 + 11;
    cairo_pattern_t* ring = cairo_pattern_create_linear(0, cy - 11, 0, cy + 11);
    cairo_pattern_add_color_stop_rgb(ring, 0, 0.55, 0.55, 0.57);
    cairo_pattern_add_color_stop_rgb(ring, 1, 0.10, 0.10, 0.11);
    cairo_arc(cr, cx, cy, 10.5, 0, 2 * kPi);
    cairo_set_source(cr, ring);
    cairo_fill(cr);
    cairo_pattern_destroy(ring);
    cairo_pattern_t* lamp = cairo_pattern_create_radial(cx - 2, cy - 3, 0.5, cx, cy, 7.5);
    if (on) {
      cairo_pattern_add_color_stop_rgb(lamp, 0, 1.0, 0.95, 0.70);
      cairo_pattern_add_color_stop_rgb(lamp, 0.5, 1.0, 0.62, 0.12);
      cairo_pattern_add_color_stop_rgb(lamp, 1, 0.70, 0.30, 0.02);
    } else {
      cairo_pattern_add_color_stop_rgb(lamp, 0, 0.38, 0.30, 0.22);
      cairo_pattern_add_color_stop_rgb(lamp, 1, 0.12, 0.08, 0.05);
    }
    cairo_arc(cr, cx, cy, 7.5, 0, 2 * kPi);
    cairo_set_source(cr, lamp);
    cairo_fill(cr);
    cairo_pattern_destroy(lamp);
  }
  cairo_destroy(cr);
  return s;
}

// Three-state mode button: one frame per mode, the mode's name on the face
// and three lamps of which the current one is lit. A fourth frame repeats the
// last mode: the value 1 selects it, and the engine reads 1 as that mode.
cairo_surface_t* drawModeButton(const char* const names[3], double scale) {
  cairo_t* cr = nullptr;
  cairo_surface_t* s = canvas(CAIRO_FORMAT_ARGB32, kModeW, kModeH * 4, scale, &cr);
  for (int frame = 0; frame < 4; ++frame) {
    int k = frame < 3 ? frame : 2;
    double t = frame * kModeH;
    roundRect(cr, 0.5, t + 0.5, kModeW - 1, kModeH - 1, 5);
    rgb(cr, {0.02, 0.02, 0.02});
    cairo_fill(cr);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, t + 2, 0, t + kModeH - 2);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.36, 0.36, 0.38);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.17, 0.17, 0.18);
    roundRect(cr, 2, t + 2, kModeW - 4, kModeH - 4, 4);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    rgb(cr, {0.96, 0.94, 0.88});
    text(cr, names[k], kModeW / 2.0, t + 17, 10.5, kCenter);
    for (int lamp = 0; lamp < 3; ++lamp) {
      double lx = kModeW / 2.0 + (lamp - 1) * 14, ly = t + 26;
      cairo_arc(cr, lx, ly, 3, 0, 2 * kPi);
      if (lamp == k)
        rgb(cr, {1.0, 0.64, 0.16});
      else
        rgb(cr, {0.10, 0.08, 0.06});
      cairo_fill(cr);
    }
  }
  cairo_destroy(cr);
  return s;
}

}  // namespace

int SkinPainter::scaledSize(int size, double scale) {
  return static_cast<int>(std::lround(size * scale));
}

bool SkinPainter::paints(long id) {
  for (long known : kIds)
    if (known == id) return true;
  return false;
}

cairo_surface_t* SkinPainter::paint(long id, double scale) {
  if (!(scale >= kMinScale && scale <= kMaxScale)) return nullptr;
  static const char* const kPlayModes[3] = {"LEGATO", "ALTERNATE", "STRIKE"};
  static const char* const kDroneModes[3] = {"EVERY NOTE", "TRANSPORT", "SPLIT"};
  switch (id) {
    case 139: return drawPanel(scale);
    case 151: return drawAbout(scale);
    case 172: return drawKnobStrip(scale);
    case 178: return drawOnOff(scale);
    case 179: return drawModeButton(kDroneModes, scale);
    case 180: return drawModeButton(kPlayModes, scale);
    default: return nullptr;
  }
}

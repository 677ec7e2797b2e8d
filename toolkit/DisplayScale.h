// What the desktop says about the size of its pixels, as an editor scale
// factor: the X resource Xft.dpi divided by 96 (fractional factors such as
// 1.25 or 1.5), else the GDK_SCALE environment variable (whole factors),
// else 1. Factors are held within [kMin, kMax].
// Threads: any (each call opens and closes a connection of its own).
#pragma once

struct _XDisplay;

namespace vgui {

class DisplayScale {
 public:
  static constexpr double kMin = 1.0;
  static constexpr double kMax = 3.0;

  // Held within [kMin, kMax]; not a number gives kMin.
  static double clamp(double factor);
  // Xft.dpi / 96 from a resource database in its text form, 0 when the
  // resource is missing or not a positive number. Not clamped.
  static double fromResources(const char* resources);
  // GDK_SCALE's value, 0 when it is not a whole number of at least 1.
  static double fromGdkScale(const char* value);
  // The factor of the display's resources and the environment, clamped.
  static double ofDisplay(_XDisplay* display);
  // The same for the default display (DISPLAY); 1 when there is none.
  static double ofDefaultDisplay();
};

}  // namespace vgui

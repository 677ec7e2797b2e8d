// The plug-in's own resources folder: "Resources" beside the module file that
// holds this code, so a bundle copied anywhere finds its skin and banks.
#pragma once

#include <string>

class BundleResources {
 public:
  // Absolute folder path without a trailing "/", or "" when the module's file
  // cannot be found. Any thread; computed once.
  static const std::string& path();
  // Tests point the plug-in at resources of their own. Control thread,
  // before any plug-in object exists.
  static void overridePath(const std::string& folder);
  // Directory of the module (shared object or executable) holding this code.
  static std::string moduleDirectory();
};

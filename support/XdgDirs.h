// Base folders of the user and the machine, after the XDG base-directory rules.
// Every call reads the environment afresh, so a caller decides what to cache.
// Empty or relative values are ignored and the documented defaults are used.
//
// Threads: control thread (reads the environment, may query the user database).
#pragma once

#include <string>
#include <vector>

class XdgDirs {
 public:
  // $HOME if absolute, else the home folder of the user database; "" if unknown.
  static std::string home();
  // $XDG_DATA_HOME, else <home>/.local/share; "" if no home is known.
  static std::string dataHome();
  // $XDG_CONFIG_HOME, else <home>/.config; "" if no home is known.
  static std::string configHome();
  // The absolute entries of $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
  static std::vector<std::string> dataDirs();
};

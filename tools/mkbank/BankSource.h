// The factory bank's text source: one block per program,
//
//   program 3 "Steel Strikes"
//     scale = Werckmeister III
//     SoundSet = 02-Bright Steel
//     MonoType = 2/3
//
// programs numbered 1..128 as the editor shows them; every parameter not
// named keeps its default, every program not named is "Init". Parameter
// names are matched ignoring case and blanks. '#' at the start of a line or
// after a blank starts a comment.
//
// Threads: offline tool only.
#pragma once

#include <string>
#include <vector>

#include "plugin/VstParameters.h"

class BankSource {
 public:
  // defaults: the parameter table (names, flags, defaults) programs start from.
  explicit BankSource(const VstParams (&defaults)[kNumParams]);

  // Parses the source; errors are collected as "file:line: message".
  bool parse(const std::string& text, const std::string& fileName);
  // With a content folder: every sound set must have its folder there and
  // every scale its file in Scale/. Errors point at the lines that name them.
  bool checkContent(const std::string& contentDir);

  const std::vector<std::string>& errors() const { return errors_; }
  const VstProgram& program(int index) const { return programs_[index]; }
  // The 128 program records as the factory bank file stores them.
  std::vector<unsigned char> bankBytes() const;

 private:
  struct Use {
    int line;
    int program;
  };
  void error(int line, const std::string& message);
  int findParameter(const std::string& name) const;
  bool setValue(int program, int index, const std::string& value, int line);

  VstParams params_[kNumParams];
  VstProgram programs_[kNumPrograms];
  std::string fileName_;
  std::vector<std::string> errors_;
  std::vector<Use> soundSetUses_, scaleUses_;
  std::vector<std::string> soundSetFolders_;  // folder named per program, "" if a code
};

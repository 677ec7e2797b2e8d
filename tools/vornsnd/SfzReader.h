// Reads an SFZ instrument (text of <control>, <global>, <master>, <group> and
// <region> headers with opcode=value pairs, #define and #include) into a flat
// list of regions whose inherited opcodes are resolved. Only the text is
// read; the samples are left to whoever converts the regions. Problems are
// collected as "file:line: message" lines; nothing here ends the process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class SfzReader {
 public:
  enum class LoopMode { kUnset, kNoLoop, kOneShot, kContinuous, kSustain };

  struct Region {
    std::string where;        // "file:line" of the <region> header
    std::string sample;       // path of the sample, ready to open
    std::string sampleWhere;  // "file:line" of the sample opcode
    int lowKey = 0, highKey = 127;
    int keyCenter = 60;  // -1: the root note stored in the sample file
    int lowVelocity = 1, highVelocity = 127;
    int64_t offset = 0, end = -1;  // frames of the file; end -1: the file's last
    LoopMode loopMode = LoopMode::kUnset;
    int64_t loopStart = -1, loopEnd = -1;  // frames of the file, inclusive; -1: unset
    double tune = 0.0;  // cents
    int transpose = 0;  // semitones
  };

  static constexpr int kMaxIncludeDepth = 16;
  static constexpr int kMaxErrors = 100;

  // Reads the instrument at path; false when it holds errors.
  bool read(const std::string& path);
  const std::vector<Region>& regions() const { return regions_; }
  const std::vector<std::string>& errors() const { return errors_; }
  const std::vector<std::string>& warnings() const { return warnings_; }

  // A MIDI note as a number or a name with octave (c4 = 60, c#4, eb4);
  // false when it is neither (the range is not checked).
  static bool parseKey(const std::string& text, int& key);

 private:
  struct Opcode {
    std::string name, value, where;
  };
  enum class Scope { kNone, kControl, kGlobal, kMaster, kGroup, kRegion, kOther };

  void readFile(const std::string& path, const std::string& shownAs, int depth);
  void readLine(std::string line, const std::string& where, int depth);
  void substituteDefines(std::string& line) const;
  void openHeader(const std::string& name, const std::string& where);
  void addOpcode(const std::string& name, const std::string& value, const std::string& where);
  void closeRegion();
  bool applyOpcode(const Opcode& op, Region& region);
  void checkOverlaps();
  void error(const std::string& where, const std::string& message);
  std::string resolveSample(const std::string& value) const;

  std::string baseFolder_;  // folder of the top file, with a trailing "/" or empty
  std::string defaultPath_;
  std::map<std::string, std::string> defines_;
  Scope scope_ = Scope::kNone;
  bool inBlockComment_ = false;
  std::vector<Opcode> global_, master_, group_, region_;
  std::string regionWhere_;
  std::map<std::string, int> unmapped_;
  int leftOut_ = 0;
  std::vector<Region> regions_;
  std::vector<std::string> errors_, warnings_;
};

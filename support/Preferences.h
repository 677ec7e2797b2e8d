// Integer preferences kept in a small text file, one "key=value" line each.
//
// Keys are stored byte for byte except that bytes outside printable ASCII and
// '%', '=' and '#' are written as %XX, so keys with trailing blanks (parameter
// names are padded) survive. Numbers are plain decimal, independent of the
// process locale. A missing or damaged file never fails a read: unreadable
// lines are skipped and values that are not integers read as 0.
//
// Saving writes a temporary file beside the target, syncs it and renames it
// over the target, so a crash leaves either the old or the new file.
//
// Threads: control thread. One object is not meant to be shared between threads.
#pragma once

#include <map>
#include <optional>
#include <string>

class Preferences {
 public:
  // Written as a comment at the top of the file.
  static constexpr const char* kIdentifier = "net.quillmark.vellamor-zul";
  // The editor's zoom in percent, chosen in its main menu, for new windows.
  static constexpr const char* kEditorZoomKey = "EditorZoom";
  // Files larger than this are treated as damaged and ignored.
  static constexpr long kMaxFileSize = 1L << 20;

  explicit Preferences(std::string filePath);

  // <XDG config home>/Vellamor-ZUL/preferences; "" if no home is known.
  static std::string defaultFilePath();

  const std::string& filePath() const { return path_; }

  // Replaces the entries with those of the file; false if it could not be read.
  bool load();
  // Writes all entries atomically, creating the folder if needed.
  bool save() const;

  // Absent key: nullopt. Present but not an integer in int range: 0.
  std::optional<int> getInt(const std::string& key) const;
  void setInt(const std::string& key, int value);
  bool remove(const std::string& key);
  size_t size() const { return entries_.size(); }

  static std::string escapeKey(const std::string& key);
  // nullopt for a malformed escape.
  static std::optional<std::string> unescapeKey(const std::string& text);

 private:
  std::string path_;
  std::map<std::string, std::string> entries_;
};

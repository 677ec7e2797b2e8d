#include "plugin/SoundSetList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <string>

#include "support/MessageBox.h"

namespace {

bool isDirectory(const std::string& folder, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
  struct stat st {};
  return stat((folder + "/" + entry->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void SoundSetList::build(const char* folder) {
  SoundSetEntry work[kEntries];
  for (SoundSetEntry& e : entries_) e = SoundSetEntry{};

  std::string path = folder ? folder : "";
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  DIR* dir = path.empty() ? nullptr : opendir(path.c_str());
  dirent* entry = dir ? readdir(dir) : nullptr;
  if (!entry) {
    if (dir) closedir(dir);
    MessageBox(0, "Error opening the sound data directory", "Error!", 0);
    return;
  }
  for (; entry; entry = readdir(dir)) {
    const char* name = entry->d_name;
    size_t length = std::strlen(name);
    if (name[0] == '.' || length <= 2 || !std::isdigit(static_cast<unsigned char>(name[0])) ||
        !std::isdigit(static_cast<unsigned char>(name[1])) || !isDirectory(path, entry))
      continue;
    size_t digits = 0;
    long number = 0;
    while (std::isdigit(static_cast<unsigned char>(name[digits]))) {
      // Saturate: a long run of digits is a code out of range, not an overflow.
      if (number < 1000) number = number * 10 + (name[digits] - '0');
      ++digits;
    }
    if (name[digits] != '-') continue;
    if (length > 250) {
      MessageBox(0, "Filename or Directory name too long. Max of 250 characters!", "Error!", 0);
      continue;
    }
    if (number < 1 || number > 99) {
      MessageBox(0, "SoundSet Code must be from 01 to 99!", "Error!", 0);
      continue;
    }
    SoundSetEntry& slot = work[number - 1];
    slot.code = static_cast<std::int32_t>(number - 1);
    std::memset(slot.name, 0, sizeof(slot.name));
    std::memcpy(slot.name, name, length < 255 ? length : 255);
  }
  closedir(dir);

  int next = 0;
  for (const SoundSetEntry& e : work)
    if (e.name[0]) entries_[next++] = e;
}

int SoundSetList::find(long code) const {
  for (int i = 0; i < kEntries; ++i)
    if (entries_[i].code == code && entries_[i].name[0]) return i;
  return -1;
}

int SoundSetList::count() const {
  int n = 0;
  while (n < kEntries && entries_[n].name[0]) ++n;
  return n;
}

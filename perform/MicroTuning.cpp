#include "perform/MicroTuning.h"

#include <dirent.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "support/MessageBox.h"
#include "support/RegularFile.h"

namespace {

constexpr size_t kDataPathLimit = 4060;
constexpr size_t kFolderPathLimit = 4090;
constexpr double kMaxCents = 1200.0;

// Numbers in scale files read the same whatever the host's locale.
double parseCents(const char* text) {
  static locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  double v = cLocale ? strtod_l(text, nullptr, cLocale) : std::strtod(text, nullptr);
  if (!std::isfinite(v)) return 0.0;
  // A pitch class moved by more than an octave is a damaged file, and far
  // larger values would overflow the oscillator's frequency.
  return v > kMaxCents ? kMaxCents : (v < -kMaxCents ? -kMaxCents : v);
}

bool isControl(int c) { return (c >= 0 && c < 32) || c == 127; }

}  // namespace

MicroTuning::MicroTuning() {
  const char* data = soundDataPath();
  if (std::strlen(data) > kDataPathLimit) {
    MessageBox(0, "SCALE Path Too Long!", "Fatal Error!", 0);
    return;
  }
  std::snprintf(folder_, sizeof folder_, "%s/Scale/", data);
  listTables(folder_);
}

MicroTuning::MicroTuning(const char* scaleFolder) {
  if (!scaleFolder || std::strlen(scaleFolder) > kDataPathLimit) {
    MessageBox(0, "SCALE Path Too Long!", "Fatal Error!", 0);
    return;
  }
  std::snprintf(folder_, sizeof folder_, "%s/", scaleFolder);
  listTables(folder_);
}

MicroTuning::~MicroTuning() = default;

void MicroTuning::listTables(const char* folder) {
  DIR* dir = opendir(folder);
  if (!dir) return;  // no folder: no tables, equal temperament, no message
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '\0' || name[0] == '.') continue;
    const char* ext = std::strstr(name, ".txt");
    const size_t length = std::strlen(name);
    if (!ext || ext != name + length - 4) continue;
    if (length > static_cast<size_t>(kNameSize)) {
      MessageBox(0,
                 "Scale filename name too long. Max of 40 characters! (including the "
                 "extention .txt)",
                 "Error!", 0);
      continue;
    }
    if (size_ >= kMaxTables) {
      MessageBox(0, "Max number of MicroTuning tables are 128!", "Error!", 0);
      break;
    }
    std::memcpy(tables_[size_].name, name, length - 4);
    tables_[size_].name[length - 4] = '\0';
    ++size_;
  }
  closedir(dir);
  if (size_ == 0) MessageBox(0, "No MicroTuning scale tables found (code 3)", "Error!", 0);
}

const char* MicroTuning::getTableName(long index) const {
  if (index < 0 || index >= size_) return "";
  return tables_[index].name;
}

void MicroTuning::setRoot(long root) {
  root_.store(root >= 0 && root <= 11 ? root : 0, std::memory_order_relaxed);
}

void MicroTuning::setTable(const char* name) {
  Offsets next;
  if (std::strlen(folder_) > kFolderPathLimit) {
    MessageBox(0, "SCALE Path Too Long!", "Fatal Error!", 0);
    publish(next);
    return;
  }
  // A name comes from program data; it may only name a file in the folder.
  std::string file;
  if (name) file.assign(name, strnlen(name, kNameSize));
  if (file.empty() || file.find('/') != std::string::npos) {
    publish(next);
    return;
  }
  const std::string path = std::string(folder_) + file + ".txt";
  // Only plain files: a FIFO named like a scale must not hold the switch up.
  FILE* f = RegularFile::openStream(path.c_str());
  if (!f) {
    publish(next);
    return;
  }
  char value[kValueSize + 1];
  int used = 0;
  int k = 0;
  auto endValue = [&]() {
    if (used > 0 && k < 12) {
      value[used] = '\0';
      next.semitones[k++] = static_cast<float>(parseCents(value) / 100.0);
    }
    used = 0;
  };
  for (int c = std::fgetc(f); c != EOF && k < 12; c = std::fgetc(f)) {
    if (isControl(c))
      endValue();
    else if (used < kValueSize)  // the rest of an over-long value is dropped
      value[used++] = static_cast<char>(c);
  }
  endValue();
  std::fclose(f);
  publish(next);
}

void MicroTuning::publish(const Offsets& next) {
  std::lock_guard<std::mutex> lock(writer_);
  const int spare = 1 - active_.load(std::memory_order_relaxed);
  // A reader that picked the spare buffer before the last switch may still
  // be reading it; it leaves within a few instructions.
  while (inUse_[spare].load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  buffers_[spare] = next;
  active_.store(spare, std::memory_order_seq_cst);
}

int MicroTuning::acquire() const {
  for (;;) {
    const int i = active_.load(std::memory_order_seq_cst);
    inUse_[i].fetch_add(1, std::memory_order_seq_cst);
    if (active_.load(std::memory_order_seq_cst) == i) return i;
    release(i);  // switched meanwhile; take the new one
  }
}

MicroTuning::Offsets MicroTuning::snapshot() const {
  const int i = acquire();
  Offsets copy = buffers_[i];
  release(i);
  return copy;
}

float MicroTuning::Tick(long note) const {
  const long root = getRoot();
  long index = (note - root + 12) % 12;
  if (index < 0) index += 12;
  const int i = acquire();
  const float v = buffers_[i].semitones[index];
  release(i);
  return v;
}

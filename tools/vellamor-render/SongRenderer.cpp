#include "tools/vellamor-render/SongRenderer.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/XdgDirs.h"
#include "tools/vellamor-render/ProgressBar.h"
#include "tools/vellamor-render/WavWriter.h"

namespace {

constexpr const char* kModuleName = "Vellamor-ZUL.so";
constexpr const char* kBundleName = "Vellamor-ZUL";
constexpr std::size_t kWholeStateBytes = 39428;
constexpr std::size_t kProgramBytes = 292;
constexpr int kBankPrograms = 128;
// Where the plug-in looks for sound-set folders below each XDG data folder.
constexpr const char* kSoundsBelowData = "/Audio/Sounds/Banks/Quillmark/Vellamor/";

bool isFile(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

std::string trimmedLower(const std::string& text) {
  std::size_t end = text.find_last_not_of(" \t");
  std::string out = end == std::string::npos ? "" : text.substr(0, end + 1);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The plug-in ignores relative XDG folders, so they are made absolute here,
// against the folder the tool was started in.
std::string absoluteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  std::error_code ec;
  std::string out = std::filesystem::absolute(folder, ec).lexically_normal().string();
  if (ec) return folder;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string absoluteFolderList(const std::string& list) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    std::size_t colon = list.find(':', start);
    out += absoluteFolder(list.substr(start, colon == std::string::npos ? colon : colon - start));
    if (colon == std::string::npos) return out;
    out += ':';
    start = colon + 1;
  }
}

// The sound folders the plug-in considers, in its order.
std::string soundFolders() {
  std::string out;
  std::vector<std::string> roots;
  if (std::string home = XdgDirs::dataHome(); !home.empty()) roots.push_back(home);
  for (const std::string& dir : XdgDirs::dataDirs()) roots.push_back(dir);
  for (const std::string& root : roots)
    out += (out.empty() ? "" : ", ") + (root == "/" ? "" : root) + kSoundsBelowData;
  return out;
}

std::string executableFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string exe(path, static_cast<std::size_t>(length));
  std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "" : exe.substr(0, slash);
}

}  // namespace

std::string SongRenderer::findPlugin(std::string& searched) {
  std::vector<std::string> candidates;
  if (const char* vstPath = std::getenv("VST_PATH")) {
    std::string list = vstPath;
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t colon = list.find(':', start);
      std::string folder =
          list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!folder.empty()) {
        candidates.push_back(folder + "/" + kModuleName);
        candidates.push_back(folder + "/" + kBundleName + "/" + kModuleName);
      }
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  if (const char* home = std::getenv("HOME"); home && *home)
    candidates.push_back(std::string(home) + "/.vst/" + kBundleName + "/" + kModuleName);
  std::string here = executableFolder();
  if (!here.empty()) candidates.push_back(here + "/../../" + kBundleName + "/" + kModuleName);

  searched.clear();
  for (const std::string& path : candidates) {
    if (isFile(path)) return path;
    searched += (searched.empty() ? "" : ", ") + path;
  }
  return "";
}

bool SongRenderer::run(std::string& error) {
  std::string why;
  if (!song_.load(options_.midiPath, why)) {
    error = options_.midiPath + " " + why;
    return false;
  }
  if (song_.endSeconds() > kMaxSeconds) {
    error = options_.midiPath + " lasts " + std::to_string(song_.endSeconds() / 3600.0) +
            " hours; songs longer than 4 hours are refused (damaged timing?)";
    return false;
  }

  // The plug-in reads its folders while it is being built, so these go first.
  if (options_.dataHome) {
    const std::string home = absoluteFolder(*options_.dataHome);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  }
  if (options_.dataDirs) setenv("XDG_DATA_DIRS", absoluteFolderList(*options_.dataDirs).c_str(), 1);

  std::string pluginPath = options_.pluginPath;
  if (pluginPath.empty()) {
    std::string searched;
    pluginPath = findPlugin(searched);
    if (pluginPath.empty()) {
      error = "no plug-in found (looked for " + searched + "); name one with --plugin PATH";
      return false;
    }
  } else if (!isFile(pluginPath)) {
    error = "plug-in " + pluginPath + " does not exist or cannot be read";
    return false;
  }

  host::HostSettings settings;
  settings.sampleRate = options_.sampleRate;
  settings.blockSize = options_.blockSize;
  settings.tempo = song_.initialTempo();
  settings.offline = true;
  plugin_ = host::HostedPlugin::load(pluginPath, why, settings);
  if (!plugin_) {
    error = "cannot load the plug-in " + pluginPath + ": " + why;
    return false;
  }
  if (plugin_->numOutputs() < 2 || !plugin_->effect()->processReplacing) {
    error = "plug-in " + pluginPath + " has no stereo output to render";
    return false;
  }
  if (!loadBank(error) || !applySettings(error) || !checkSounds(error)) return false;
  return render(error);
}

bool SongRenderer::checkSounds(std::string& error) {
  // The plug-in says whether it has a sound set to play (0: it does not know
  // the question); without one the song would render as silence.
  const vst::VstIntPtr status =
      plugin_->vendorSpecific(vst::fourCC('V', 'Z', 'U', 'L'), vst::fourCC('S', 'n', 'd', 's'));
  if (status >= 0) return true;
  std::string why = status == -1   ? "no sound-set folder (NN-Name) was found"
                    : status == -2 ? "the program's sound set is not among those found"
                                   : "a sound file of the program's set could not be loaded";
  error = "the instrument has no sound set to play: " + why + "; looked in " + soundFolders() +
          " (choose the folders with --data-home and --data-dirs)";
  return false;
}

bool SongRenderer::loadBank(std::string& error) {
  if (options_.bankPath.empty()) return true;
  std::ifstream in(options_.bankPath, std::ios::binary);
  if (!in) {
    error = "bank " + options_.bankPath + " cannot be opened";
    return false;
  }
  // Read at most one byte more than the largest layout, to see sizes that fit neither.
  std::vector<std::uint8_t> data(kWholeStateBytes + 1);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) {
    error = "bank " + options_.bankPath + " cannot be read";
    return false;
  }
  if (data.size() == kWholeStateBytes) {
    plugin_->setChunk(data, false);
  } else if (data.size() == kProgramBytes * kBankPrograms) {
    int programs = std::min(kBankPrograms, plugin_->numPrograms());
    for (int i = 0; i < programs; ++i) {
      plugin_->setProgram(i);
      plugin_->setChunk(data.data() + kProgramBytes * static_cast<std::size_t>(i), kProgramBytes,
                        true);
    }
  } else {
    error = "bank " + options_.bankPath + " has " +
            (data.size() > kWholeStateBytes ? "more than " + std::to_string(kWholeStateBytes)
                                            : std::to_string(data.size())) +
            " bytes; a bank holds a whole state (39428 bytes) or 128 programs (37376 bytes)";
    return false;
  }
  return true;
}

bool SongRenderer::applySettings(std::string& error) {
  if (options_.program) {
    if (*options_.program >= plugin_->numPrograms()) {
      error = "--program " + std::to_string(*options_.program) + ": the plug-in has only " +
              std::to_string(plugin_->numPrograms()) + " programs";
      return false;
    }
    plugin_->setProgram(*options_.program);
  } else if (!options_.bankPath.empty()) {
    plugin_->setProgram(0);  // a loaded bank takes effect with a program switch
  }

  for (const RenderOptions::Setting& setting : options_.settings) {
    int index = setting.index;
    if (index < 0) {
      std::string wanted = trimmedLower(setting.name);
      for (int i = 0; i < plugin_->numParams() && index < 0; ++i)
        if (trimmedLower(plugin_->parameterName(i)) == wanted) index = i;
      if (index < 0) {
        error = "--set: the plug-in has no parameter named '" + setting.name + "'";
        return false;
      }
    } else if (index >= plugin_->numParams()) {
      error = "--set: parameter " + std::to_string(index) + " does not exist (the plug-in has " +
              std::to_string(plugin_->numParams()) + ")";
      return false;
    }
    plugin_->setParameter(index, setting.value);
  }
  return true;
}

bool SongRenderer::render(std::string& error) {
  const double rate = options_.sampleRate;
  const int block = options_.blockSize;
  const auto& events = song_.events();
  const auto& tempos = song_.tempoMap();

  // Every event gets a frame inside the song, the song ends no earlier than
  // its end marker, and the tail follows.
  std::int64_t songFrames = std::llround(song_.endSeconds() * rate);
  if (!events.empty())
    songFrames = std::max<std::int64_t>(songFrames, std::llround(events.back().seconds * rate) + 1);
  const std::int64_t total = songFrames + std::llround(options_.tailSeconds * rate);

  WavWriter out;
  if (!out.open(options_.outputPath, static_cast<int>(rate), 2, options_.format, error))
    return false;

  host::HostedPlugin& plugin = *plugin_;
  plugin.timeline().setTempo(song_.initialTempo());
  plugin.resume();
  plugin.startProcess();
  plugin.timeline().setPlaying(true);

  ProgressBar progress(!options_.quiet, total);
  host::MidiEventList blockEvents(256);
  std::vector<float> left(static_cast<std::size_t>(block));
  std::vector<float> right(static_cast<std::size_t>(block));
  std::vector<float> interleaved(static_cast<std::size_t>(block) * 2);
  std::size_t next = 0;
  std::size_t nextTempo = 1;
  std::int64_t nonFinite = 0;

  for (std::int64_t start = 0; start < total; start += block) {
    const int length = static_cast<int>(std::min<std::int64_t>(block, total - start));
    const std::int64_t end = start + length;

    // The transport's tempo follows the file at block boundaries.
    const double now = static_cast<double>(start) / rate;
    bool tempoMoved = false;
    while (nextTempo < tempos.size() && tempos[nextTempo].seconds <= now) {
      ++nextTempo;
      tempoMoved = true;
    }
    if (tempoMoved) plugin.timeline().setTempo(60e6 / tempos[nextTempo - 1].microsPerQuarter);

    blockEvents.clear();
    for (; next < events.size(); ++next) {
      const auto& event = events[next];
      const std::int64_t frame = std::llround(event.seconds * rate);
      if (frame >= end) break;
      const int delta = static_cast<int>(std::max<std::int64_t>(frame, start) - start);
      auto bytes = song_.bytes(event);
      if (event.sysex) {
        blockEvents.sysex(delta, bytes.data(), bytes.size());
      } else {
        blockEvents.addMidi(delta, bytes[0], bytes.size() > 1 ? bytes[1] : 0,
                            bytes.size() > 2 ? bytes[2] : 0);
      }
    }
    if (!blockEvents.empty()) plugin.sendEvents(blockEvents);
    if (!plugin.processBlock(left.data(), right.data(), length)) {
      error = "the plug-in stopped rendering";
      return false;
    }
    for (int i = 0; i < length; ++i) {
      float l = left[static_cast<std::size_t>(i)];
      float r = right[static_cast<std::size_t>(i)];
      if (!std::isfinite(l)) l = 0.0f, ++nonFinite;
      if (!std::isfinite(r)) r = 0.0f, ++nonFinite;
      interleaved[2 * static_cast<std::size_t>(i)] = l;
      interleaved[2 * static_cast<std::size_t>(i) + 1] = r;
    }
    if (!out.write(interleaved.data(), static_cast<std::size_t>(length), error)) {
      progress.finish();
      return false;
    }
    progress.update(end);
  }
  plugin.timeline().setPlaying(false);
  plugin.stopProcess();
  plugin.suspend();
  progress.finish();
  if (!out.close(error)) return false;

  if (nonFinite > 0)
    std::fprintf(stderr, "vellamor-render: warning: %lld non-finite samples written as silence\n",
                 static_cast<long long>(nonFinite));
  if (progress.interactive()) {
    const char* format = options_.format == RenderOptions::SampleFormat::pcm16   ? "16-bit"
                         : options_.format == RenderOptions::SampleFormat::pcm24 ? "24-bit"
                                                                                 : "float";
    std::fprintf(stderr, "%s: %.1f s at %.0f Hz, %s, %zu events, rendered in %.1f s\n",
                 options_.outputPath.c_str(), static_cast<double>(total) / rate, rate, format,
                 events.size(), progress.elapsedSeconds());
  }
  // Said even when quiet: the file is not what the instrument played.
  if (out.overFullScale() > 0) {
    const double peak = out.peak();
    std::fprintf(stderr,
                 "vellamor-render: warning: %lld samples %s (peak %+.2f dBFS, %.4f linear); %s\n",
                 out.overFullScale(), out.clips() ? "clipped at full scale" : "over full scale",
                 20.0 * std::log10(peak), peak,
                 out.clips() ? "use --format float to keep them, or a lower Volume (--set Volume=...)"
                             : "kept as they are in the float file; a lower Volume "
                               "(--set Volume=...) keeps them within full scale");
  }
  return true;
}

// Plays a MIDI file through a hosted plug-in and writes the result: loads
// the song, sets up the data folders, loads the plug-in, applies bank,
// program and parameters, then renders block by block with the transport
// playing and the file's tempo, ending with the tail.
#pragma once

#include <memory>
#include <string>

#include "host/HostedPlugin.h"
#include "host/StandardMidiFile.h"
#include "tools/vellamor-render/RenderOptions.h"

class SongRenderer {
 public:
  // The longest song rendered; beyond it a damaged delta time is the likelier story.
  static constexpr double kMaxSeconds = 4.0 * 3600.0;

  explicit SongRenderer(const RenderOptions& options) : options_(options) {}
  // False with a sentence for a person in error.
  bool run(std::string& error);

  // First Vellamor-ZUL.so in $VST_PATH (directly or in a Vellamor-ZUL
  // folder), then ~/.vst/Vellamor-ZUL/, then the bundle built beside the
  // tool. Empty if none exists; searched lists where it looked.
  static std::string findPlugin(std::string& searched);

 private:
  bool loadBank(std::string& error);
  bool applySettings(std::string& error);
  // False when the instrument has nothing to play, saying where it looked.
  bool checkSounds(std::string& error);
  bool render(std::string& error);

  const RenderOptions& options_;
  host::StandardMidiFile song_;
  std::unique_ptr<host::HostedPlugin> plugin_;
};

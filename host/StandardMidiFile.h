// A Standard MIDI File read into one time-ordered list of events, each with
// its absolute time in seconds through the file's tempo map.
//
// Formats 0 and 1 (format 2 is refused), division in ticks per quarter note
// or in SMPTE frames. Running status, SysEx (F0 passed on as a SysEx event,
// F7 escapes skipped), meta events (tempo used, end of track honoured, the
// rest skipped); unknown chunks are skipped. Damaged input gives an error
// sentence, never a crash: every length is checked against what is left,
// variable-length numbers stop after four bytes and the number of events is
// capped, so memory and time stay bounded by the input size.
// Threads: one thread at a time per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace host {

class StandardMidiFile {
 public:
  struct Event {
    double seconds = 0.0;
    std::uint64_t tick = 0;  // absolute, from the song start
    int track = 0;
    std::uint32_t offset = 0;  // into the shared byte store
    std::uint32_t size = 0;
    bool sysex = false;  // bytes are F0 ... as read (F7 included when present)
  };
  struct TempoChange {
    std::uint64_t tick = 0;
    double seconds = 0.0;
    std::uint32_t microsPerQuarter = 500000;
  };

  // Files larger than this are refused before anything is read.
  static constexpr std::size_t kMaxFileBytes = 64u << 20;
  static constexpr std::size_t kMaxEvents = 4u << 20;

  // Both replace whatever was read before. False with a sentence in error;
  // the object is then empty.
  bool load(const std::string& path, std::string& error);
  bool parse(const std::uint8_t* data, std::size_t size, std::string& error);

  int format() const { return format_; }
  int trackCount() const { return tracks_; }
  // Ticks per quarter note, or 0 for SMPTE time.
  int ticksPerQuarter() const { return ticksPerQuarter_; }
  // Frames per second and ticks per frame for SMPTE time, else 0.
  double smpteFramesPerSecond() const { return smpteFps_; }
  int smpteTicksPerFrame() const { return smpteTicksPerFrame_; }

  // Channel and SysEx events of all tracks, ordered by time; equal times
  // keep track order, then file order.
  const std::vector<Event>& events() const { return events_; }
  std::span<const std::uint8_t> bytes(const Event& event) const {
    return {bytes_.data() + event.offset, event.size};
  }
  // Tempo changes from every track, ordered, the first at tick 0 (120 bpm
  // unless the file sets another tempo there). Empty for SMPTE time.
  const std::vector<TempoChange>& tempoMap() const { return tempoMap_; }
  // Tempo in effect at the start, in beats per minute.
  double initialTempo() const;
  // Time of a tick through the tempo map.
  double secondsAt(std::uint64_t tick) const;
  // The latest of the last event and the tracks' end markers.
  double endSeconds() const { return endSeconds_; }

 private:
  struct Reader;
  struct Pending {
    std::uint64_t tick;
    std::uint32_t offset;
    std::uint32_t size;
    int track;
    bool sysex;
  };

  void clear();
  bool readHeader(Reader& in, std::string& error);
  bool readTrack(Reader& in, int track, std::vector<Pending>& pending,
                 std::vector<TempoChange>& tempos, std::uint64_t& endTick, std::string& error);
  bool addBytes(const std::uint8_t* data, std::size_t size, std::uint32_t& offset,
                std::string& error);

  int format_ = 0;
  int tracks_ = 0;
  int ticksPerQuarter_ = 0;
  double smpteFps_ = 0.0;
  int smpteTicksPerFrame_ = 0;
  std::vector<Event> events_;
  std::vector<std::uint8_t> bytes_;
  std::vector<TempoChange> tempoMap_;
  double endSeconds_ = 0.0;
};

}  // namespace host

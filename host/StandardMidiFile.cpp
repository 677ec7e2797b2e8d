#include "host/StandardMidiFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {

namespace {

constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000;

template <typename... Args>
std::string sentence(const char* pattern, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

std::string chunkName(const std::uint8_t* id) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += (id[i] >= 0x20 && id[i] < 0x7f) ? char(id[i]) : '?';
  return name;
}

}  // namespace

// Bounded cursor over the file; positions stay absolute for messages.
struct StandardMidiFile::Reader {
  const std::uint8_t* base;
  std::size_t pos;
  std::size_t end;

  std::size_t left() const { return end - pos; }
  bool atEnd() const { return pos >= end; }
  bool byte(std::uint8_t& out) {
    if (pos >= end) return false;
    out = base[pos++];
    return true;
  }
  bool be16(std::uint32_t& out) {
    if (left() < 2) return false;
    out = (std::uint32_t(base[pos]) << 8) | base[pos + 1];
    pos += 2;
    return true;
  }
  bool be32(std::uint32_t& out) {
    if (left() < 4) return false;
    out = (std::uint32_t(base[pos]) << 24) | (std::uint32_t(base[pos + 1]) << 16) |
          (std::uint32_t(base[pos + 2]) << 8) | base[pos + 3];
    pos += 4;
    return true;
  }
  enum class Vlq { ok, truncated, tooLong };
  // At most four bytes, as the file format allows (up to 0x0FFFFFFF).
  Vlq vlq(std::uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t b;
      if (!byte(b)) return Vlq::truncated;
      out = (out << 7) | (b & 0x7f);
      if (!(b & 0x80)) return Vlq::ok;
    }
    return Vlq::tooLong;
  }
};

void StandardMidiFile::clear() {
  format_ = 0;
  tracks_ = 0;
  ticksPerQuarter_ = 0;
  smpteFps_ = 0.0;
  smpteTicksPerFrame_ = 0;
  events_.clear();
  bytes_.clear();
  tempoMap_.clear();
  endSeconds_ = 0.0;
}

bool StandardMidiFile::load(const std::string& path, std::string& error) {
  clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = std::string("cannot be opened (") + std::strerror(errno) + ")";
    return false;
  }
  std::vector<std::uint8_t> data;
  std::uint8_t buffer[65536];
  bool tooLarge = false;
  bool failed = false;
  for (;;) {
    std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    if (got == 0) {
      failed = std::ferror(file) != 0;
      break;
    }
    if (data.size() + got > kMaxFileBytes) {
      tooLarge = true;
      break;
    }
    data.insert(data.end(), buffer, buffer + got);
  }
  std::fclose(file);
  if (failed) {
    error = "cannot be read (input error)";
    return false;
  }
  if (tooLarge) {
    error = sentence("is larger than %zu MiB, too large for a MIDI file", kMaxFileBytes >> 20);
    return false;
  }
  return parse(data.data(), data.size(), error);
}

bool StandardMidiFile::readHeader(Reader& in, std::string& error) {
  if (in.left() < 8 || std::memcmp(in.base, "MThd", 4) != 0) {
    error = "is not a Standard MIDI File (no MThd header)";
    return false;
  }
  in.pos = 4;
  std::uint32_t length = 0, fmt = 0, tracks = 0, division = 0;
  in.be32(length);
  if (length < 6 || length > in.left()) {
    error = sentence("has a damaged header (length %u)", static_cast<unsigned>(length));
    return false;
  }
  std::size_t next = in.pos + length;  // longer headers are allowed; the rest is skipped
  in.be16(fmt);
  in.be16(tracks);
  in.be16(division);
  in.pos = next;

  if (fmt == 2) {
    error = "is a format 2 MIDI file (independent patterns), which is not supported";
    return false;
  }
  if (fmt > 2) {
    error = sentence("has an unknown MIDI file format %u", static_cast<unsigned>(fmt));
    return false;
  }
  if (tracks == 0) {
    error = "has no tracks";
    return false;
  }
  if (fmt == 0 && tracks != 1) {
    error = sentence("is a format 0 MIDI file with %u tracks instead of one",
                     static_cast<unsigned>(tracks));
    return false;
  }
  if (division & 0x8000) {
    int fps = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
    int ticks = static_cast<int>(division & 0xff);
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || ticks == 0) {
      error = sentence("has a damaged SMPTE time division (%d frames, %d ticks)", fps, ticks);
      return false;
    }
    smpteFps_ = fps == 29 ? 30000.0 / 1001.0 : fps;
    smpteTicksPerFrame_ = ticks;
  } else {
    if (division == 0) {
      error = "has a time division of 0 ticks per quarter note";
      return false;
    }
    ticksPerQuarter_ = static_cast<int>(division);
  }
  format_ = static_cast<int>(fmt);
  tracks_ = static_cast<int>(tracks);
  return true;
}

bool StandardMidiFile::addBytes(const std::uint8_t* data, std::size_t size, std::uint32_t& offset,
                                std::string& error) {
  // Cannot happen with the file size cap; kept so the offsets can never wrap.
  if (bytes_.size() + size > 0xffffffffu) {
    error = "holds too much event data";
    return false;
  }
  offset = static_cast<std::uint32_t>(bytes_.size());
  bytes_.insert(bytes_.end(), data, data + size);
  return true;
}

bool StandardMidiFile::readTrack(Reader& in, int track, std::vector<Pending>& pending,
                                 std::vector<TempoChange>& tempos, std::uint64_t& endTick,
                                 std::string& error) {
  std::uint64_t tick = 0;
  // Kept across meta and SysEx events: files in the wild rely on that, and a
  // correct file never has a data byte there anyway.
  std::uint8_t running = 0;
  auto damaged = [&](const char* what, std::size_t at) {
    error = sentence("is damaged: %s in track %d at byte %zu", what, track + 1, at);
    return false;
  };
  auto counted = [&]() {
    if (pending.size() + tempos.size() < kMaxEvents) return true;
    error = sentence("holds more than %zu events, too many to play", kMaxEvents);
    return false;
  };

  while (!in.atEnd()) {
    std::size_t eventStart = in.pos;
    std::uint32_t delta = 0;
    switch (in.vlq(delta)) {
      case Reader::Vlq::ok:
        break;
      case Reader::Vlq::truncated:
        return damaged("the track ends inside a delta time", eventStart);
      case Reader::Vlq::tooLong:
        return damaged("a delta time longer than four bytes", eventStart);
    }
    tick += delta;
    std::size_t statusAt = in.pos;
    std::uint8_t first = 0;
    if (!in.byte(first)) return damaged("the track ends after a delta time", statusAt);

    if (first == 0xff) {
      std::uint8_t type = 0;
      std::uint32_t length = 0;
      if (!in.byte(type)) return damaged("the track ends inside a meta event", statusAt);
      Reader::Vlq v = in.vlq(length);
      if (v == Reader::Vlq::tooLong)
        return damaged("a meta event length longer than four bytes", statusAt);
      if (v != Reader::Vlq::ok || length > in.left())
        return damaged("a meta event runs past the end of its track", statusAt);
      if (type == 0x2f) {
        endTick = std::max(endTick, tick);
        return true;  // anything after the end marker is not part of the song
      }
      if (type == 0x51 && length == 3) {
        std::uint32_t micros = (std::uint32_t(in.base[in.pos]) << 16) |
                               (std::uint32_t(in.base[in.pos + 1]) << 8) | in.base[in.pos + 2];
        // A tempo of 0 would stop time; such an entry is ignored.
        if (micros > 0) {
          if (!counted()) return false;
          tempos.push_back({tick, 0.0, micros});
        }
      }
      in.pos += length;
      continue;
    }

    if (first == 0xf0 || first == 0xf7) {
      std::uint32_t length = 0;
      Reader::Vlq v = in.vlq(length);
      if (v == Reader::Vlq::tooLong)
        return damaged("a SysEx length longer than four bytes", statusAt);
      if (v != Reader::Vlq::ok || length > in.left())
        return damaged("a SysEx message runs past the end of its track", statusAt);
      if (first == 0xf0) {
        if (!counted()) return false;
        std::uint32_t offset = 0;
        std::uint8_t start = 0xf0;
        if (!addBytes(&start, 1, offset, error)) return false;
        std::uint32_t rest = 0;
        if (!addBytes(in.base + in.pos, length, rest, error)) return false;
        pending.push_back({tick, offset, length + 1, track, true});
      }
      // F7 escapes carry arbitrary bytes (split SysEx, real-time messages): skipped.
      in.pos += length;
      continue;
    }

    if (first >= 0xf0) return damaged("a system message that has no place in a file", statusAt);

    std::uint8_t message[3] = {0, 0, 0};
    std::size_t have = 0;
    if (first & 0x80) {
      running = first;
      message[0] = first;
    } else {
      if (!running) return damaged("a data byte without a status byte", statusAt);
      message[0] = running;
      message[1] = first;
      have = 1;
    }
    std::size_t dataBytes = ((message[0] & 0xe0) == 0xc0) ? 1 : 2;  // Cx and Dx take one
    while (have < dataBytes) {
      std::uint8_t b = 0;
      if (!in.byte(b)) return damaged("the track ends inside a channel message", statusAt);
      if (b & 0x80) return damaged("a channel message cut short by a status byte", statusAt);
      message[1 + have++] = b;
    }
    if (!counted()) return false;
    std::uint32_t offset = 0;
    if (!addBytes(message, dataBytes + 1, offset, error)) return false;
    pending.push_back({tick, offset, static_cast<std::uint32_t>(dataBytes + 1), track, false});
  }
  // A missing end marker is common enough to forgive: the track ends here.
  endTick = std::max(endTick, tick);
  return true;
}

bool StandardMidiFile::parse(const std::uint8_t* data, std::size_t size, std::string& error) {
  clear();
  if (!data && size) size = 0;
  if (size > kMaxFileBytes) {
    error = "is too large for a MIDI file";
    return false;
  }
  Reader in{data, 0, size};
  if (!readHeader(in, error)) {
    clear();
    return false;
  }

  std::vector<Pending> pending;
  std::vector<TempoChange> tempos;
  std::uint64_t endTick = 0;
  int found = 0;
  while (found < tracks_) {
    std::size_t chunkAt = in.pos;
    std::uint32_t length = 0;
    if (in.left() < 8) {
      error = sentence("is truncated: it ends after %d of %d tracks", found, tracks_);
      clear();
      return false;
    }
    const std::uint8_t* id = in.base + in.pos;
    in.pos += 4;
    in.be32(length);
    if (length > in.left()) {
      error =
          sentence("is truncated: chunk '%s' at byte %zu claims %u bytes, more than the file holds",
                   chunkName(id).c_str(), chunkAt, static_cast<unsigned>(length));
      clear();
      return false;
    }
    std::size_t next = in.pos + length;
    if (std::memcmp(id, "MTrk", 4) == 0) {
      Reader track{in.base, in.pos, next};
      if (!readTrack(track, found, pending, tempos, endTick, error)) {
        clear();
        return false;
      }
      ++found;
    }
    in.pos = next;  // unknown chunks are skipped whole
  }

  if (ticksPerQuarter_ > 0) {
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    tempoMap_.push_back({0, 0.0, kDefaultMicrosPerQuarter});
    for (const TempoChange& change : tempos) {
      if (change.tick == tempoMap_.back().tick) {
        tempoMap_.back().microsPerQuarter = change.microsPerQuarter;  // the last one at a tick wins
      } else {
        double at = secondsAt(change.tick);
        tempoMap_.push_back({change.tick, at, change.microsPerQuarter});
      }
    }
  }

  std::stable_sort(pending.begin(), pending.end(),
                   [](const Pending& a, const Pending& b) { return a.tick < b.tick; });
  events_.reserve(pending.size());
  for (const Pending& p : pending) {
    Event event;
    event.tick = p.tick;
    event.seconds = secondsAt(p.tick);
    event.track = p.track;
    event.offset = p.offset;
    event.size = p.size;
    event.sysex = p.sysex;
    events_.push_back(event);
    endTick = std::max(endTick, p.tick);
  }
  endSeconds_ = secondsAt(endTick);
  return true;
}

double StandardMidiFile::initialTempo() const {
  std::uint32_t micros =
      tempoMap_.empty() ? kDefaultMicrosPerQuarter : tempoMap_.front().microsPerQuarter;
  return 60e6 / micros;
}

double StandardMidiFile::secondsAt(std::uint64_t tick) const {
  if (smpteTicksPerFrame_ > 0) return static_cast<double>(tick) / (smpteFps_ * smpteTicksPerFrame_);
  if (ticksPerQuarter_ <= 0) return 0.0;
  if (tempoMap_.empty())
    return static_cast<double>(tick) * kDefaultMicrosPerQuarter * 1e-6 / ticksPerQuarter_;
  auto after = std::upper_bound(tempoMap_.begin(), tempoMap_.end(), tick,
                                [](std::uint64_t t, const TempoChange& c) { return t < c.tick; });
  const TempoChange& in = *(after - 1);  // the first entry is at tick 0
  return in.seconds +
         static_cast<double>(tick - in.tick) * in.microsPerQuarter * 1e-6 / ticksPerQuarter_;
}

}  // namespace host

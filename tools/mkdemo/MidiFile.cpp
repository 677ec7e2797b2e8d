#include "MidiFile.h"

#include <algorithm>
#include <cmath>

namespace {

void putVarLen(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t buf[5];
  int n = 0;
  buf[n++] = v & 0x7F;
  while (v >>= 7) buf[n++] = static_cast<std::uint8_t>((v & 0x7F) | 0x80);
  while (n) out.push_back(buf[--n]);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

std::uint8_t clamp7(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 127)); }

}  // namespace

void MidiFile::add(int track, long tick, int order, std::vector<std::uint8_t> data) {
  tracks_.at(track).push_back({std::max(0L, tick), order, sequence_++, std::move(data)});
}

int MidiFile::addTrack(const std::string& name) {
  tracks_.emplace_back();
  int t = static_cast<int>(tracks_.size()) - 1;
  std::vector<std::uint8_t> d = {0xFF, 0x03};
  putVarLen(d, static_cast<std::uint32_t>(name.size()));
  d.insert(d.end(), name.begin(), name.end());
  add(t, 0, 0, d);
  return t;
}

void MidiFile::tempo(int track, long tick, double bpm) {
  auto us = static_cast<std::uint32_t>(std::lround(60000000.0 / bpm));
  add(track, tick, 0, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(us >> 16),
                       static_cast<std::uint8_t>(us >> 8), static_cast<std::uint8_t>(us)});
}

void MidiFile::timeSignature(int track, long tick, int numerator, int denominatorPower) {
  add(track, tick, 0, {0xFF, 0x58, 0x04, clamp7(numerator), clamp7(denominatorPower), 24, 8});
}

void MidiFile::noteOn(int track, long tick, int channel, int note, int velocity) {
  add(track, tick, 3, {static_cast<std::uint8_t>(0x90 | (channel & 15)), clamp7(note), clamp7(std::max(1, velocity))});
}

void MidiFile::noteOff(int track, long tick, int channel, int note) {
  add(track, tick, 1, {static_cast<std::uint8_t>(0x80 | (channel & 15)), clamp7(note), 64});
}

void MidiFile::programChange(int track, long tick, int channel, int program) {
  add(track, tick, 2, {static_cast<std::uint8_t>(0xC0 | (channel & 15)), clamp7(program)});
}

void MidiFile::controller(int track, long tick, int channel, int number, int value) {
  add(track, tick, 2, {static_cast<std::uint8_t>(0xB0 | (channel & 15)), clamp7(number), clamp7(value)});
}

std::vector<std::uint8_t> MidiFile::bytes() const {
  std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  out.push_back(static_cast<std::uint8_t>(tracks_.size() >> 8));
  out.push_back(static_cast<std::uint8_t>(tracks_.size()));
  out.push_back(static_cast<std::uint8_t>(division_ >> 8));
  out.push_back(static_cast<std::uint8_t>(division_));
  for (std::vector<Event> events : tracks_) {
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
      if (a.tick != b.tick) return a.tick < b.tick;
      if (a.order != b.order) return a.order < b.order;
      return a.sequence < b.sequence;
    });
    std::vector<std::uint8_t> body;
    long last = 0;
    for (const Event& e : events) {
      putVarLen(body, static_cast<std::uint32_t>(e.tick - last));
      last = e.tick;
      body.insert(body.end(), e.data.begin(), e.data.end());
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    put32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

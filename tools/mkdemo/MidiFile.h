// A Standard MIDI File of format 1 built in memory: a tempo track and any
// number of event tracks, timed in ticks.
//
// Threads: offline tool only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MidiFile {
 public:
  explicit MidiFile(int ticksPerQuarter) : division_(ticksPerQuarter) {}

  // Track 0 (the tempo track) exists from the start; adds one and returns it.
  int addTrack(const std::string& name);
  void tempo(int track, long tick, double bpm);
  void timeSignature(int track, long tick, int numerator, int denominatorPower);
  void noteOn(int track, long tick, int channel, int note, int velocity);
  void noteOff(int track, long tick, int channel, int note);
  void programChange(int track, long tick, int channel, int program);
  void controller(int track, long tick, int channel, int number, int value);

  // The file's bytes: events of each track sorted by time (note-offs before
  // note-ons at the same tick, so a repeated note is not cut).
  std::vector<std::uint8_t> bytes() const;
  int division() const { return division_; }

 private:
  struct Event {
    long tick;
    int order;  // at equal ticks: 0 meta, 1 note-off, 2 program/controller, 3 note-on
    long sequence;
    std::vector<std::uint8_t> data;
  };
  void add(int track, long tick, int order, std::vector<std::uint8_t> data);

  int division_;
  std::vector<std::vector<Event>> tracks_ = {{}};
  long sequence_ = 0;
};

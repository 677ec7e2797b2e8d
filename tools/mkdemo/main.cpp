// mkdemo: writes the demo song, a Standard MIDI File on channel 1 that walks
// through factory programs: a bowed legato line, struck steel notes, a split
// drone under a melody and plucked notes whose sympathetic strings ring on.
//
//   mkdemo OUT.mid

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "MidiFile.h"

namespace {

constexpr int kTicks = 480;  // per quarter note
constexpr double kTempo = 84.0;
constexpr int kChannel = 0;  // MIDI channel 1

struct Note {
  int key;       // 0: rest
  double beats;  // length in quarter notes
  int velocity;
};

long ticks(double beats) { return static_cast<long>(beats * kTicks + 0.5); }

// Plays a line from beat `at`. overlap > 0 holds each note into the next one
// (legato); overlap < 0 lifts it early (a separate stroke). Returns the end.
double line(MidiFile& f, int track, double at, const std::vector<Note>& notes, double overlap) {
  for (size_t i = 0; i < notes.size(); ++i) {
    const Note& n = notes[i];
    if (n.key > 0) {
      bool nextIsNote = i + 1 < notes.size() && notes[i + 1].key > 0;
      double held = n.beats + (overlap > 0 && !nextIsNote ? 0.0 : overlap);
      f.noteOn(track, ticks(at), kChannel, n.key, n.velocity);
      f.noteOff(track, ticks(at + held), kChannel, n.key);
    }
    at += n.beats;
  }
  return at;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkdemo OUT.mid\n");
    return 2;
  }
  MidiFile f(kTicks);
  f.tempo(0, 0, kTempo);
  f.timeSignature(0, 0, 4, 2);
  int t = f.addTrack("Vellamor-ZUL demo");
  double at = 0.0;

  // 1. "Gut Legato" (program 1): a bowed line in D, notes overlapping so the
  //    main string glides on without new attacks; the drone sounds with it.
  f.programChange(t, 0, kChannel, 0);
  at = 0.5;
  at = line(f, t, at,
            {{62, 1, 80}, {65, 1, 84}, {69, 2, 90}, {67, 1, 84}, {65, 1, 80}, {64, 1, 82},
             {62, 1, 78}, {61, 2, 86}, {62, 1, 80}, {64, 1, 84}, {65, 1.5, 92}, {67, 0.5, 88},
             {69, 3, 96}, {0, 1.5, 0}},
            0.12);

  // 2. "Steel Strikes" (program 7): separate strokes, each struck anew; the
  //    sympathetic strings answer every pitch class.
  f.programChange(t, ticks(at - 0.5), kChannel, 6);
  at = line(f, t, at,
            {{74, 0.5, 110}, {72, 0.5, 96}, {69, 1, 104}, {74, 0.5, 112}, {72, 0.5, 96},
             {69, 0.5, 100}, {67, 0.5, 92}, {65, 1, 104}, {67, 0.5, 96}, {69, 0.5, 100},
             {70, 1, 110}, {69, 0.5, 96}, {67, 0.5, 92}, {65, 0.5, 96}, {64, 0.5, 90},
             {62, 2, 104}, {0, 1.5, 0}},
            -0.15);

  // 3. "Steel Split Drone" (program 8, split at key 60): the left hand holds
  //    drone notes below the split while the right hand plays above it.
  f.programChange(t, ticks(at - 0.5), kChannel, 7);
  double drone = at;
  for (int key : {50, 45, 50, 43}) {
    f.noteOn(t, ticks(drone), kChannel, key, 96);
    f.noteOff(t, ticks(drone + 3.9), kChannel, key);
    drone += 4.0;
  }
  at = line(f, t, at + 1.0,
            {{74, 1, 100}, {77, 0.5, 96}, {76, 0.5, 92}, {74, 1, 100}, {0, 1, 0},
             {72, 1, 96}, {74, 0.5, 100}, {72, 0.5, 92}, {69, 1, 98}, {0, 1, 0},
             {74, 1, 104}, {81, 1, 112}, {79, 0.5, 100}, {77, 0.5, 96}, {76, 1, 98}, {0, 0.5, 0},
             {74, 2.5, 100}},
            -0.1);
  at = std::max(at, drone) + 1.0;

  // 4. "Nylon Pluck" (program 11): plucked notes and a few long ones; after
  //    each, the sympathetic strings ring on.
  f.programChange(t, ticks(at - 0.5), kChannel, 10);
  at = line(f, t, at,
            {{62, 0.5, 100}, {69, 0.5, 90}, {74, 0.5, 96}, {69, 0.5, 86}, {65, 0.5, 96},
             {69, 0.5, 86}, {74, 0.5, 92}, {77, 1.5, 108}, {0, 0.5, 0}, {76, 0.5, 96},
             {74, 0.5, 90}, {73, 1, 100}, {74, 3, 104}},
            -0.05);

  // 5. Back to "Gut Legato" for a last sustained phrase that fades into the
  //    reverb and the ringing strings.
  at += 1.0;
  f.programChange(t, ticks(at - 0.5), kChannel, 0);
  at = line(f, t, at, {{57, 1, 76}, {62, 1, 80}, {65, 1, 84}, {64, 1, 80}, {62, 4, 78}}, 0.12);
  f.controller(t, ticks(at + 4.0), kChannel, 123, 0);  // all notes off, then the tail

  std::vector<std::uint8_t> bytes = f.bytes();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "mkdemo: %s: cannot be written\n", argv[1]);
    return 1;
  }
  std::printf("mkdemo: %.1f s at %.0f bpm\n", (at + 4.0) * 60.0 / kTempo, kTempo);
  return 0;
}

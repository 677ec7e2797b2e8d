// One LV2 instance for a whole fuzzing process, made without lilv: the host
// side is a URID map, a log that keeps quiet, a freewheel port (sound-set
// loads finish before a block is rendered) and output buffers checked after
// every block for non-finite samples (which abort, a crash to the fuzzer).
//
// State inputs are a list of properties as a host would hand them back;
// encode and decode turn such a list into fuzz input bytes and back:
//   byte 0          the note played afterwards
//   then records    [what] [size, 3 bytes little-endian] [size bytes]
// `what` picks the key (bits 0-1: bank, preset, program, a key the plug-in
// does not know), the type (bits 2-4: atom:Chunk, atom:Int, atom:Long,
// atom:Float, atom:String, no type, an unmapped URID, atom:Vector), whether
// the value is served from an odd address (bit 5) and which unknown key
// (bits 6-7). A size beyond the input's end is cut to what is left.
//
// Everything is called from the fuzzing thread.
#pragma once

#include <lv2/log/log.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lv2/Lv2Plugin.h"

class Lv2FuzzHost {
 public:
  static constexpr std::uint32_t kFrames = 512;
  static constexpr double kSampleRate = 48000.0;

  enum Key : std::uint8_t { kBank = 0, kPreset = 1, kProgram = 2, kUnknown = 3 };
  enum Type : std::uint8_t { kChunk = 0, kInt = 1, kLong = 2, kFloat = 3, kString = 4, kNone = 5,
                             kUnmapped = 6, kVector = 7 };
  struct Property {
    Key key = kBank;
    Type type = kChunk;
    bool misaligned = false;
    std::uint8_t unknownKey = 0;
    std::vector<std::uint8_t> value;
  };
  struct Input {
    int note = 60;
    std::vector<Property> properties;
  };

  static Lv2FuzzHost& instance();

  static Input decode(const std::uint8_t* data, std::size_t size);
  static std::vector<std::uint8_t> encode(const Input& input);

  // Back to the baseline: the engine's bank with programs alternating
  // between the workspace's two sound sets, program 0, nothing sounding.
  void reset();
  // Hands the properties to the plug-in's state restore; a key given twice
  // is served with its last value.
  LV2_State_Status restore(const std::vector<Property>& properties);
  // What the plug-in stores, as properties of known keys (others are dropped).
  std::vector<Property> save();
  // Note on at frame 3, a block, note off, a block; each block checked.
  void playPhrase(int note);

 private:
  Lv2FuzzHost();
  LV2_URID map(const char* uri);
  LV2_URID keyUrid(const Property& p);
  LV2_URID typeUrid(Type type);
  void run(const std::uint8_t* midi);

  static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
  static const void* retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                              std::uint32_t* type, std::uint32_t* flags);
  static LV2_State_Status store(LV2_State_Handle handle, std::uint32_t key, const void* value,
                                std::size_t size, std::uint32_t type, std::uint32_t flags);

  std::map<std::string, LV2_URID> ids_;
  LV2_URID_Map map_{this, mapUri};
  LV2_Log_Log log_{};
  std::unique_ptr<Lv2Plugin> plugin_;
  std::vector<std::uint8_t> baselineBank_;

  // Served to the plug-in during one restore: key URID to its bytes, each
  // allocated at exactly its size so that a read past it is caught.
  struct Served {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    bool misaligned = false;
    LV2_URID type = 0;
  };
  std::map<LV2_URID, Served> served_;
  std::vector<Property> stored_;

  alignas(8) std::uint8_t events_[256] = {};
  std::vector<float> left_, right_;
  float freewheel_ = 1.0f;
};

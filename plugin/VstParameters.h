// The parameter block: 57 parameter records followed by 128 programs. It is the
// in-memory state, the content of "Default.bnk" and the whole-state chunk, so
// its layout is fixed byte for byte (little-endian, no padding).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kNumParams = 57;
constexpr int kNumPrograms = 128;

struct VstParams {
  bool perProgram = true;
  bool unclamped = false;
  bool storedDefault = false;
  char padding = 0;
  float value = 1.0f;
  std::int32_t midiCC = 0;
  char name[24] = {};
};

struct VstValues {
  float value = 1.0f;
};

struct VstProgram {
  VstProgram();
  char name[24];
  char scaleName[40];
  VstValues values[kNumParams];
};

struct VstParameters {
  VstParams params[kNumParams];
  VstProgram programs[kNumPrograms];
};

static_assert(sizeof(bool) == 1);
static_assert(sizeof(VstParams) == 36, "parameter record is 36 bytes in files");
static_assert(sizeof(VstProgram) == 292, "program record is 292 bytes in files");
static_assert(sizeof(VstParameters) == 39428, "parameter block is 39428 bytes in files");
static_assert(sizeof(VstParams) * kNumParams == 2052);
static_assert(offsetof(VstParams, value) == 4 && offsetof(VstParams, midiCC) == 8 &&
              offsetof(VstParams, name) == 12);
static_assert(offsetof(VstProgram, scaleName) == 24 && offsetof(VstProgram, values) == 64);
static_assert(offsetof(VstParameters, programs) == 2052);

#include "plugin/VstParameters.h"

#include <cstring>

VstProgram::VstProgram() {
  std::memset(name, 0, sizeof(name));
  std::memset(scaleName, 0, sizeof(scaleName));
  std::strcpy(name, "Init");
  std::strcpy(scaleName, "12-Equal Temperament");
  for (VstValues& v : values) v.value = 0.0f;
}

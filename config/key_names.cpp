// Lookup in the fixed key-name table.
#include "config/key_names.h"

#include <cstring>

bool lookupKeyName(const char* name, size_t length, uint32_t* code) {
  for (const KeyName& entry : keyNameTable) {
    if (std::strlen(entry.name) == length && std::memcmp(entry.name, name, length) == 0) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

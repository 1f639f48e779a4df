// Score file contents into the reader: a valid score is always 0..32767 and reads back the same.
#include <cstdint>
#include <string>

#include "storage/hiscore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const storage::ParsedScore s = storage::parseScore(bytes);
  if (s.status == storage::ParsedScore::kValid) {
    if (s.value < 0 || s.value > 32767) __builtin_trap();
    if (storage::parseScore(std::to_string(s.value) + "\r\n").value != s.value) __builtin_trap();
  } else if (s.value != 0) {
    __builtin_trap();
  }
  return 0;
}

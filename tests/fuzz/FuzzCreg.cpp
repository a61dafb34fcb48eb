// Windows 9x registry files, read as SYSTEM.DAT.
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  taloveric::fuzz::CollectFromFile(data, size, "SYSTEM.DAT");
  return 0;
}

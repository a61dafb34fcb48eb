// NT registry hives, read as SOFTWARE.
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  taloveric::fuzz::CollectFromFile(data, size, "SOFTWARE");
  return 0;
}

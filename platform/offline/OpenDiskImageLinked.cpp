// DiskImage linked in, for the tests and the fuzzers.
#include "platform/offline/DiskImage.h"

namespace taloveric {

DiskImageHandle OpenDiskImage(const std::filesystem::path& image) {
  return {new DiskImage(image), [](DiskImage* disk) { delete disk; }};
}

}  // namespace taloveric

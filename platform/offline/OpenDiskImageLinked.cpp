// DiskImage linked in, for the tests and the fuzzers.
#include "platform/offline/DiskImage.h"

namespace taloveric {

DiskImageHandle OpenDiskImage(const SourceFile& image) {
  return {new DiskImage(image), [](DiskImage* disk) { delete disk; }};
}

DiskImageHandle OpenDiskImage(const std::filesystem::path& image) {
  const SourceFile file(image);
  return OpenDiskImage(file);
}

}  // namespace taloveric

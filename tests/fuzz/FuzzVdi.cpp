// VirtualBox disks: the header and block map, then every byte of the disk
// (its first 64 MiB) read back, where a damaged file may give errors but
// never a crash or a read outside a buffer.
#include "FuzzInput.h"

#include "platform/HiveFile.h"
#include "platform/offline/VdiDisk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path file = taloveric::fuzz::Place("disk.vdi", taloveric::fuzz::Bytes(data, size));
  try {
    const taloveric::VdiDisk disk(file);
    char buffer[1 << 16];
    for (std::uint64_t at = 0; at < disk.Size() && at < (64u << 20); at += sizeof buffer) {
      if (disk.Read(at, buffer, sizeof buffer) < 0) break;
    }
  } catch (const taloveric::SourceError&) {
  }
  return 0;
}

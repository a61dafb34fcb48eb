#pragma once
// Volume shadow copies written into an NTFS volume's bytes, as Windows keeps
// them and as the public description of the format has them: the volume
// header in the boot file, a catalog of the copies, and for each copy a store
// of the blocks of 16 KiB that were changed on the volume after it was made.

#include <cstdint>
#include <array>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

namespace taloveric::testing {

inline constexpr std::uint64_t kShadowBlock = 0x4000;

// A copy: when it was made (seconds since 1970) and its blocks that differ
// from the next newer copy's, or from the volume for the newest, by their
// offsets on the volume.
struct Snapshot {
  std::int64_t made = 0;
  std::map<std::uint64_t, std::string> blocks;
};

// The GUID that marks Windows' shadow copy data: 3808876b-c176-4e48-b7ae-04046e6cc752.
inline const std::string kShadowCopyId("\x6b\x87\x08\x38\x76\xc1\x48\x4e\xb7\xae\x04\x04\x6e\x6c\xc7\x52", 16);

// A block's 128-byte header: the GUID, version 1, its record type and where it is.
inline std::string ShadowBlockHeader(std::uint32_t type, std::uint64_t relative, std::uint64_t at, std::uint64_t next) {
  std::string header = kShadowCopyId + std::string(112, '\0');
  PutLe32(header.data() + 16, 1);
  PutLe32(header.data() + 20, type);
  PutLe64(header.data() + 24, relative);
  PutLe64(header.data() + 32, at);
  PutLe64(header.data() + 40, next);
  return header;
}

inline std::uint64_t FileTime(std::int64_t unixSeconds) {
  return static_cast<std::uint64_t>(unixSeconds + 11644473600) * 10000000;
}

// Writes `snapshots` (oldest first) into `volume`, in the blocks of 16 KiB
// at the offsets `free` gives, which the file system does not use (copies
// that change no block share theirs). Throws when they are too few.
inline void WriteShadowCopies(std::string& volume, const std::vector<Snapshot>& snapshots,
                              std::vector<std::uint64_t> free) {
  const auto take = [&] {
    if (free.empty()) throw std::runtime_error("too few free blocks for the shadow copies");
    const std::uint64_t at = free.back();
    free.pop_back();
    return at;
  };
  const auto put = [&](std::uint64_t at, const std::string& bytes) { volume.replace(at, bytes.size(), bytes); };
  const auto block = [](std::string bytes) {
    bytes.resize(kShadowBlock, '\0');
    return bytes;
  };
  // The catalog: a type 2 and a type 3 entry a copy, 127 entries a block.
  std::vector<std::string> entries;
  std::optional<std::array<std::uint64_t, 4>> unchanged;  // the blocks of the copies that change none
  for (std::size_t i = 0; i < snapshots.size(); ++i) {
    std::string store = "store-" + std::to_string(1000000000 + i);
    store.resize(16, '\0');
    const bool shared = snapshots[i].blocks.empty() && unchanged;
    const std::array<std::uint64_t, 4> own = shared ? *unchanged : std::array<std::uint64_t, 4>{take(), take(), take(), take()};
    if (snapshots[i].blocks.empty()) unchanged = own;
    const auto [header, list, ranges, bitmap] = own;
    // Its information: the copy's and its set's GUIDs, its context and attributes, the machine's name twice.
    std::string info(64, '\0');
    info.replace(16, 16, "copy-" + std::to_string(10000000000 + i));
    info.replace(32, 15, "set-" + std::to_string(10000000000 + i));
    PutLe32(info.data() + 48, 0x0D);
    PutLe32(info.data() + 56, 0x0002000D);
    const std::string machine("\x0A\x00p\0c\0-\0v\0m\0", 12);
    info += machine + machine;
    std::string headerBlock = ShadowBlockHeader(4, 0, header, 0) + info;
    PutLe64(headerBlock.data() + 48, info.size());
    put(header, block(headerBlock));
    // Its blocks, each a descriptor in the block list and the old data in a block of the store.
    std::string descriptors;
    for (const auto& [offset, data] : snapshots[i].blocks) {
      const std::uint64_t stored = take();
      put(stored, block(data));
      std::string descriptor(32, '\0');
      PutLe64(descriptor.data(), offset);
      PutLe64(descriptor.data() + 8, stored);
      PutLe64(descriptor.data() + 16, stored);
      descriptors += descriptor;
    }
    if (descriptors.size() > kShadowBlock - 128) throw std::runtime_error("a copy of more blocks than one list holds");
    put(list, block(ShadowBlockHeader(3, 0, list, 0) + descriptors));
    put(ranges, block(ShadowBlockHeader(5, 0, ranges, 0)));
    put(bitmap, block(ShadowBlockHeader(6, 0, bitmap, 0)));
    std::string described(128, '\0'), stored(128, '\0');
    PutLe64(described.data(), 2);
    PutLe64(described.data() + 8, volume.size());
    described.replace(16, 16, store);
    PutLe64(described.data() + 32, i + 1);
    PutLe64(described.data() + 40, 0x40);
    PutLe64(described.data() + 48, FileTime(snapshots[i].made));
    PutLe64(stored.data(), 3);
    PutLe64(stored.data() + 8, list);
    stored.replace(16, 16, store);
    PutLe64(stored.data() + 32, header);
    PutLe64(stored.data() + 40, ranges);
    PutLe64(stored.data() + 48, bitmap);
    PutLe64(stored.data() + 64, 5 * kShadowBlock);
    entries.push_back(described);
    entries.push_back(stored);
  }
  std::vector<std::uint64_t> catalog;
  for (std::size_t i = 0; i < entries.size() || catalog.empty(); i += 126) catalog.push_back(take());
  for (std::size_t c = 0; c < catalog.size(); ++c) {
    std::string bytes = ShadowBlockHeader(2, c * kShadowBlock, catalog[c], c + 1 < catalog.size() ? catalog[c + 1] : 0);
    for (std::size_t e = c * 126; e < std::min(entries.size(), (c + 1) * 126); ++e) bytes += entries[e];
    put(catalog[c], block(bytes));
  }
  // The volume header, in the boot file.
  std::string header = ShadowBlockHeader(1, 0x1E00, 0x1E00, 0);  // where it is, twice
  PutLe64(header.data() + 48, catalog.front());
  header.resize(512, '\0');
  put(0x1E00, header);
}

}  // namespace taloveric::testing

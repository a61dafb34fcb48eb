#include "platform/offline/PartitionTable.h"

#include <cstdio>
#include <set>

#include "platform/ByteOrder.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr unsigned kMostLogical = 128;          // logical partitions followed, at most
constexpr std::uint32_t kMostGptEntries = 4096;  // Linux reads no more

std::string ReadBytes(ByteSource& disk, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  const long long got = offset < disk.Size() ? disk.Read(offset, bytes.data(), size) : 0;
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

bool Extended(unsigned type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// A GUID as its text, from the mixed-endian bytes a GPT keeps.
std::string GuidText(std::string_view bytes) {
  char text[37];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", Le32(bytes, 0), Le16(bytes, 4),
                Le16(bytes, 6), static_cast<unsigned char>(bytes[8]), static_cast<unsigned char>(bytes[9]),
                static_cast<unsigned char>(bytes[10]), static_cast<unsigned char>(bytes[11]),
                static_cast<unsigned char>(bytes[12]), static_cast<unsigned char>(bytes[13]),
                static_cast<unsigned char>(bytes[14]), static_cast<unsigned char>(bytes[15]));
  return text;
}

void ReadGpt(ByteSource& disk, PartitionTable& table) {
  // Its header at the second sector, of 512 bytes or of 4096.
  for (const std::uint64_t sector : {kSector, std::uint64_t{4096}}) {
    const std::string header = ReadBytes(disk, sector, 92);
    if (header.size() < 92 || header.compare(0, 8, "EFI PART") != 0) continue;
    table.scheme = PartitionTable::Scheme::Gpt;
    const std::uint64_t entries = Le64(header, 72) * sector;
    const std::uint32_t count = Le32(header, 80), size = Le32(header, 84);
    if (size < 128 || size > 4096 || count > kMostGptEntries) {
      table.problems.push_back("its GPT gives " + std::to_string(count) + " entries of " + std::to_string(size) +
                               " bytes, which no GPT holds");
      return;
    }
    const std::string array = ReadBytes(disk, entries, static_cast<std::size_t>(count) * size);
    for (std::uint32_t i = 0; i < count; ++i) {
      if ((i + 1) * static_cast<std::size_t>(size) > array.size()) {
        table.problems.push_back("its GPT's entries are cut short at entry " + std::to_string(i + 1));
        break;
      }
      const std::string_view entry = std::string_view(array).substr(static_cast<std::size_t>(i) * size, size);
      if (entry.substr(0, 16).find_first_not_of('\0') == std::string_view::npos) continue;  // unused
      const std::uint64_t first = Le64(entry, 32), last = Le64(entry, 40);
      if (last < first || first > UINT64_MAX / sector) continue;
      std::u16string name;
      for (std::size_t at = 56; at + 1 < 128; at += 2) {
        const char16_t c = Le16(entry, at);
        if (c == 0) break;
        name += c;
      }
      table.partitions.push_back({i + 1, first * sector, (last - first + 1) * sector, 0, GuidText(entry.substr(0, 16)),
                                  ToUtf8(name)});
    }
    return;
  }
  table.problems.push_back("its MBR says a GPT follows, but there is none");
}

}  // namespace

PartitionTable ReadPartitionTable(ByteSource& disk) {
  PartitionTable table;
  const std::string mbr = ReadBytes(disk, 0, kSector);
  if (mbr.size() < kSector || mbr.compare(510, 2, "\x55\xAA") != 0) return table;
  std::vector<Partition> slots;
  for (unsigned slot = 0; slot < 4; ++slot) {
    const std::size_t at = 446 + 16 * slot;
    const unsigned type = static_cast<unsigned char>(mbr[at + 4]);
    const std::uint64_t start = Le32(mbr, at + 8), sectors = Le32(mbr, at + 12);
    if (type == 0 || sectors == 0) continue;
    if (type == 0xEE) {
      ReadGpt(disk, table);
      return table;
    }
    slots.push_back({slot + 1, start * kSector, sectors * kSector, type, "", ""});
  }
  table.scheme = PartitionTable::Scheme::Mbr;
  for (const Partition& primary : slots) {
    if (!Extended(primary.mbrType)) {
      table.partitions.push_back(primary);
      continue;
    }
    // The logical partitions, a chain of boot records from the extended one's start.
    std::set<std::uint64_t> seen;
    unsigned number = 5;
    for (std::uint64_t record = primary.offset; number < 5 + kMostLogical;) {
      if (!seen.insert(record).second) {
        table.problems.push_back("its chain of logical partitions leads back on itself");
        break;
      }
      const std::string ebr = ReadBytes(disk, record, kSector);
      if (ebr.size() < kSector || ebr.compare(510, 2, "\x55\xAA") != 0) break;
      const unsigned type = static_cast<unsigned char>(ebr[446 + 4]);
      const std::uint64_t start = Le32(ebr, 446 + 8), sectors = Le32(ebr, 446 + 12);
      if (type != 0 && sectors != 0) table.partitions.push_back({number++, record + start * kSector, sectors * kSector, type, "", ""});
      const std::uint64_t next = Le32(ebr, 462 + 8);
      if (static_cast<unsigned char>(ebr[462 + 4]) == 0) break;
      record = primary.offset + next * kSector;
    }
  }
  return table;
}

std::string PartitionPurpose(const Partition& partition) {
  if (!partition.gptType.empty()) {
    const std::pair<const char*, const char*> kinds[] = {
        {"c12a7328-f81f-11d2-ba4b-00a0c93ec93b", "EFI system"},
        {"e3c9e316-0b5c-4db8-817d-f92df00215ae", "Microsoft reserved"},
        {"de94bba4-06d1-4d40-a16a-bfd50179d6ac", "Windows recovery"},
        {"ebd0a0a2-b9e5-4433-87c0-68b6b72699c7", "Microsoft basic data"},
        {"5808c8aa-7e8f-42e0-85d2-e1e90434cfb3", "Windows dynamic disk metadata"},
        {"af9b60a0-1431-4f62-bc68-3311714a69ad", "Windows dynamic disk data"},
        {"0fc63daf-8483-4772-8e79-3d69d8477de4", "Linux"},
        {"0657fd6d-a4ab-43c4-84e5-0933c84b4f4f", "Linux swap"},
    };
    for (const auto& [guid, purpose] : kinds) {
      if (partition.gptType == guid) return purpose;
    }
    return "";
  }
  switch (partition.mbrType) {
    case 0x01: case 0x04: case 0x06: case 0x0B: case 0x0C: case 0x0E: return "FAT";
    case 0x07: return "NTFS or exFAT";
    case 0x27: return "Windows recovery";
    case 0xEF: return "EFI system";
    case 0x82: return "Linux swap";
    case 0x83: return "Linux";
    default: return "";
  }
}

}  // namespace taloveric

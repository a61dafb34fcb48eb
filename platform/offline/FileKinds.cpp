#include "platform/ByteOrder.h"
#include "platform/offline/FileKinds.h"

#include <cstdint>

#include "platform/AcpiMsdm.h"
#include "platform/Unicode.h"
#include "platform/offline/VdiDisk.h"

namespace taloveric {
namespace {

bool PowerOfTwo(unsigned n) { return n != 0 && (n & (n - 1)) == 0; }

// A FAT boot sector: a jump to its code or the boot signature, and the
// parameter block as any FAT driver needs it: sectors of 512 to 4096 bytes,
// clusters of a power of two of them, at least one reserved sector and one
// table. Its label ("FAT32   ") is optional.
bool LooksLikeFat(std::string_view boot) {
  if (boot.size() < 64) return false;
  const auto jump = static_cast<unsigned char>(boot[0]);
  const bool signature = boot.size() >= 512 && boot.substr(510, 2) == "\x55\xAA";
  if (jump != 0xEB && jump != 0xE9 && !signature) return false;
  const unsigned sectorBytes = Le16(boot, 11);
  return sectorBytes >= 512 && sectorBytes <= 4096 && PowerOfTwo(sectorBytes) &&
         PowerOfTwo(static_cast<unsigned char>(boot[13])) && Le16(boot, 14) != 0 && boot[16] != 0;
}

// The names a raw image, or one whose bytes do not say what it is, goes by.
Kind KindByName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return Kind::Unknown;
  const std::string extension = AsciiLower(std::string(name.substr(dot)));
  if (extension == ".reg") return Kind::RegExport;
  if (extension == ".vhd") return Kind::Vhd;
  if (extension == ".vhdx") return Kind::Vhdx;
  if (extension == ".vmdk") return Kind::Vmdk;
  if (extension == ".qcow2") return Kind::Qcow2;
  if (extension == ".vdi") return Kind::Vdi;
  if (extension == ".e01") return Kind::E01;
  for (const char* raw : {".img", ".dd", ".raw", ".bin", ".ima", ".hdd", ".001"}) {
    if (extension == raw) return Kind::RawDisk;
  }
  return Kind::Unknown;
}

}  // namespace

Kind KindOf(std::string_view head, std::string_view name) {
  const auto at = [&](std::size_t offset, std::string_view magic) {
    return offset <= head.size() && head.substr(offset).starts_with(magic);
  };
  if (LooksLikeMsdm(head)) return Kind::FirmwareTable;
  if (at(0, "CREG")) return Kind::Win9xRegistry;
  if (at(0, "regf")) return Kind::NtHive;
  if (at(0, "\xFF\xFE") || at(0, "\xEF\xBB\xBF") || at(0, "REGEDIT4") || at(0, "Windows Registry Editor")) {
    return Kind::RegExport;
  }
  if (at(0, "PK\x03\x04")) return Kind::Zip;
  if (at(0, "7z\xBC\xAF\x27\x1C")) return Kind::SevenZip;
  if (at(3, "-FVE-FS-")) return Kind::BitLocker;
  if (LooksLikeVdi(head)) return Kind::Vdi;
  if (at(0, "vhdxfile")) return Kind::Vhdx;
  if (at(0, "conectix")) return Kind::Vhd;  // a dynamic disk's copy of its footer
  if (at(0, "KDMV") || at(0, "# Disk DescriptorFile")) return Kind::Vmdk;
  if (at(0, "QFI\xFB")) return Kind::Qcow2;
  if (at(0, "EVF\x09\x0D\x0A\xFF")) return Kind::E01;
  if (at(3, "NTFS    ")) return Kind::Ntfs;
  if (at(3, "EXFAT   ")) return Kind::ExFat;
  if (LooksLikeFat(head)) return Kind::Fat;
  if (head.size() >= 512 && at(510, "\x55\xAA")) return Kind::RawDisk;  // a partition table
  return KindByName(name);
}

bool IsDisk(Kind kind) {
  switch (kind) {
    case Kind::RawDisk:
    case Kind::Vhd:
    case Kind::Vhdx:
    case Kind::Vmdk:
    case Kind::Qcow2:
    case Kind::Vdi:
    case Kind::E01:
    case Kind::Fat:
    case Kind::ExFat:
    case Kind::Ntfs:
      return true;
    default:
      return false;
  }
}

std::string ContainerName(Kind kind) {
  switch (kind) {
    case Kind::Vhd: return "VHD";
    case Kind::Vhdx: return "VHDX";
    case Kind::Vmdk: return "VMDK";
    case Kind::Qcow2: return "QCOW2";
    case Kind::Vdi: return "VDI";
    case Kind::E01: return "E01";
    default: return "";
  }
}

std::string NotReadBecause(Kind kind) {
  switch (kind) {
    case Kind::Zip:
      return "a zip archive; unpack it first";
    case Kind::SevenZip:
      return "a 7z archive; unpack it first";
    case Kind::BitLocker:
      return "a BitLocker volume, which cannot be read until it is unlocked: unlock it with its recovery key (for "
             "example: sudo cryptsetup open --type bitlk FILE windows) and give the unlocked device "
             "(/dev/mapper/windows)";
    default:
      return "";
  }
}

}  // namespace taloveric

#pragma once
// Every kind of file and volume the rescue meets, told by its first bytes, and
// for a raw disk image, which has no bytes of its own to tell it by, by its
// name: the one place that knows them. The file's own readers check the rest.

#include <cstddef>
#include <string>
#include <string_view>

namespace taloveric {

enum class Kind {
  Unknown,
  // Registry files.
  Win9xRegistry,  // SYSTEM.DAT, USER.DAT and their backups: "CREG"
  NtHive,         // "regf"
  RegExport,      // "REGEDIT4" or "Windows Registry Editor Version 5.00", in ANSI, UTF-8 or UTF-16LE
  FirmwareTable,  // an ACPI MSDM table: the computer's OEM product key
  // Containers of a disk.
  RawDisk,  // a partition table, or a raw image by its name (split ones too)
  Vhd,
  Vhdx,
  Vmdk,
  Qcow2,
  Vdi,
  E01,
  // The file systems Windows is installed on.
  Fat,
  ExFat,
  Ntfs,
  // What can be named but not read as it is.
  BitLocker,
  Zip,
  SevenZip,
};

// How many first bytes tell a kind: a volume's boot sector.
inline constexpr std::size_t kKindBytes = 512;

// The kind `head` (a file's or a volume's first bytes, fewer where it is
// shorter) says; `name` (a file's name) for what the bytes leave open.
Kind KindOf(std::string_view head, std::string_view name = {});

// A disk: a container, or a file system alone, as a partition's image is.
bool IsDisk(Kind kind);

// A container's name as users know its format ("VHDX", "E01"); empty for a
// raw disk and for anything else.
std::string ContainerName(Kind kind);

// What a kind that can be named but not read is, and what to do with it;
// empty for every other kind.
std::string NotReadBecause(Kind kind);

}  // namespace taloveric

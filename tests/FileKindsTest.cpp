// Every kind of file and volume told by its first bytes, and by its name
// where the bytes say nothing.

#include <gtest/gtest.h>

#include "platform/offline/FileKinds.h"

namespace taloveric {
namespace {

// A boot sector: `at3` from byte 3 (the file system's name), the parameter
// block's sector size, cluster size, reserved sectors and tables, and the
// signature at its end.
std::string Boot(std::string_view at3, unsigned sectorBytes = 512, unsigned char clusterSectors = 8,
                 unsigned reserved = 32, char tables = 2) {
  std::string boot(512, '\0');
  boot.replace(0, 3, "\xEB\x58\x90");
  boot.replace(3, at3.size(), at3);
  boot[11] = static_cast<char>(sectorBytes & 0xFF);
  boot[12] = static_cast<char>(sectorBytes >> 8);
  boot[13] = static_cast<char>(clusterSectors);
  boot[14] = static_cast<char>(reserved & 0xFF);
  boot[15] = static_cast<char>(reserved >> 8);
  boot[16] = tables;
  boot.replace(510, 2, "\x55\xAA");
  return boot;
}

std::string At(std::size_t offset, std::string_view magic, std::size_t size = 512) {
  std::string bytes(size, '\0');
  bytes.replace(offset, magic.size(), magic);
  return bytes;
}

TEST(FileKinds, EachIsToldByItsFirstBytes) {
  struct Case {
    const char* what;
    std::string head;
    const char* name;
    Kind kind;
  };
  std::string mbr(512, '\0');
  mbr.replace(510, 2, "\x55\xAA");
  const Case cases[] = {
      {"a Windows 9x registry file", At(0, "CREG"), "SYSTEM.DAT", Kind::Win9xRegistry},
      {"an NT hive", At(0, "regf"), "SOFTWARE", Kind::NtHive},
      {"a REGEDIT4 export", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", "x.txt", Kind::RegExport},
      {"a version 5 export in UTF-16", std::string("\xFF\xFEW\0i\0", 6), "x", Kind::RegExport},
      {"a version 5 export in UTF-8", "\xEF\xBB\xBFWindows Registry Editor Version 5.00", "x", Kind::RegExport},
      {"a version 5 export without a mark", "Windows Registry Editor Version 5.00\r\n", "x", Kind::RegExport},
      {"an export that starts with a blank line, by its name", "\r\nREGEDIT4\r\n", "old.REG", Kind::RegExport},
      {"an MSDM table", At(0, "MSDM", 85), "MSDM", Kind::FirmwareTable},
      {"a zip archive, whatever its name", At(0, "PK\x03\x04"), "export.reg", Kind::Zip},
      {"a 7z archive", At(0, "7z\xBC\xAF\x27\x1C"), "disk.img", Kind::SevenZip},
      {"a BitLocker volume, though it ends as a boot sector does", Boot("-FVE-FS-"), "c.img", Kind::BitLocker},
      {"a VirtualBox disk", At(64, "\x7F\x10\xDA\xBE"), "x", Kind::Vdi},
      {"a VHDX", At(0, "vhdxfile"), "x", Kind::Vhdx},
      {"a dynamic VHD", At(0, "conectix"), "x", Kind::Vhd},
      {"a sparse VMDK", At(0, "KDMV"), "x", Kind::Vmdk},
      {"a VMDK descriptor", "# Disk DescriptorFile\nversion=1\n", "x", Kind::Vmdk},
      {"a QCOW2 disk", At(0, "QFI\xFB"), "x", Kind::Qcow2},
      {"an E01 segment", At(0, "EVF\x09\x0D\x0A\xFF"), "x", Kind::E01},
      {"an NTFS volume", Boot("NTFS    "), "x", Kind::Ntfs},
      {"an exFAT volume", Boot("EXFAT   ", 0, 0, 0, 0), "x", Kind::ExFat},
      {"a FAT volume", Boot("mkfs.fat"), "x", Kind::Fat},
      {"a FAT volume of 4 KiB sectors", Boot("MSWIN4.1", 4096, 1, 1, 1), "x", Kind::Fat},
      {"a FAT volume whose jump is not there, by its signature", std::string(3, '\0') + Boot("MSDOS5.0").substr(3), "x",
       Kind::Fat},
      {"a boot sector whose sectors are 300 bytes: a partition table", Boot("MSDOS5.0", 300), "x", Kind::RawDisk},
      {"a boot sector without a table: a partition table", Boot("MSDOS5.0", 512, 8, 32, 0), "x", Kind::RawDisk},
      {"a partition table", mbr, "x", Kind::RawDisk},
      {"zeros named as a VMDK extent", std::string(512, '\0'), "disk-flat.vmdk", Kind::Vmdk},
      {"zeros named as the first part of a split image", std::string(512, '\0'), "disk.001", Kind::RawDisk},
      {"zeros named as a raw image", std::string(512, '\0'), "DISK.IMG", Kind::RawDisk},
      {"zeros with no name that says", std::string(512, '\0'), "notes.txt", Kind::Unknown},
      {"a file of three bytes", "CRE", "x", Kind::Unknown},
      {"an empty file", "", "", Kind::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(KindOf(c.head, c.name), c.kind) << c.what;
}

}  // namespace
}  // namespace taloveric

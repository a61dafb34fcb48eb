// Writes registry files of made-up Windows installations into a folder, for the
// program's own tests, the fuzzers' seeds and the benchmarks:
//   DIR/win98/WINDOWS/SYSTEM.DAT and USER.DAT
//   DIR/win98ru and DIR/win98jp: the same in code pages 1251 and 932
//   DIR/xp/WINDOWS/system32/config/SOFTWARE and SYSTEM, with the profiles of joe and ann
//   DIR/xpgr: that machine's files installed in code page 1253
//   DIR/winme/WINDOWS/SYSTEM.DAT, with NT's key present but empty
// and, for the benchmarks of large inputs:
//   make_fixtures --siblings N FILE   a SYSTEM.DAT whose Windows key has N sibling keys
//   make_fixtures --export MIB FILE   a .reg export of about MIB MiB, keys with values
//   make_fixtures --software MIB FILE an XP SOFTWARE hive of about MIB MiB, most of
//                                     it classes, as real ones are (8 KiB for 0)
//   make_fixtures --dirty-software MIB DIR [EVERY]  such a SOFTWARE that Windows did not
//                                     finish writing, and its LOG1 whose one entry rewrites
//                                     every page (or every EVERYth)
//   make_fixtures --shadow-copies N VOLUME OLD  N shadow copies written into the NTFS
//                                     VOLUME, the newest holding what OLD, the same volume
//                                     before, held where they differ (written in blocks that are
//                                     zeros in both, in the volume's second half)

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "support/Fixtures.h"
#include "support/HiveLogs.h"
#include "support/ShadowCopies.h"

namespace {

using namespace taloveric::testing;

void WriteSiblings(const std::filesystem::path& file, int count) {
  FixtureKey root = Win98System();
  FixtureKey& parent = Path(root, "Software\\Microsoft\\Windows");
  for (int i = 0; i < count; ++i) parent.children.push_back({"Sibling" + std::to_string(i), {}, {}});
  // The key the collection looks for comes after all of them.
  std::swap(parent.children.front(), parent.children.back());
  WriteCregFile(file, root);
}

void WriteExport(const std::filesystem::path& file, int mebibytes) {
  std::ofstream out(file, std::ios::binary);
  std::string text = "REGEDIT4\r\n";
  for (long key = 0;; ++key) {
    std::ostringstream entry;
    entry << "\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Product\\Component" << key << "]\r\n"
          << "\"DisplayName\"=\"Component number " << key << "\"\r\n"
          << "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor\\\\Component" << key << "\"\r\n"
          << "\"Version\"=dword:" << std::hex << (0x10000 + key) << "\r\n"
          << "\"Flags\"=hex:01,00,00,00,02,00,00,00\r\n";
    if (text.size() + entry.str().size() > static_cast<std::size_t>(mebibytes) << 20) break;
    text += entry.str();
  }
  out << text;
}

void WriteLargeSoftware(const std::filesystem::path& file, int mebibytes) {
  FixtureKey root = XpSoftware();
  FixtureKey& classes = Path(root, "Classes");
  // About 500 bytes a class: its key, a server key and two values.
  const long count = static_cast<long>(mebibytes) * (1 << 20) / 500;
  for (long i = 0; i < count; ++i) {
    FixtureKey& added = classes.children.emplace_back();
    added.name = "{" + std::to_string(10000000 + i) + "-0000-4000-8000-000000000000}";
    added.values = {Utf16("", "Component " + std::to_string(i))};
    added.children.push_back({"InprocServer32", {Utf16("", "C:\\WINDOWS\\system32\\c" + std::to_string(i) + ".dll"),
                                                 Utf16("ThreadingModel", "Both")}, {}});
  }
  WriteRegfFile(file, root, "\\SystemRoot\\System32\\Config\\SOFTWARE");
}

void WriteDirtySoftware(const std::filesystem::path& dir, int mebibytes, int every) {
  WriteLargeSoftware(dir / "SOFTWARE", mebibytes);
  const std::string after = ReadBytes(dir / "SOFTWARE");
  std::string before = after;
  for (std::size_t at = 4096 + 4095; at < before.size(); at += 4096 * static_cast<std::size_t>(every)) {
    before[at] = static_cast<char>(~before[at]);
  }
  const DirtyHive dirty = NewFormatLogs({before, after}, {0});
  WriteBytes(dir / "SOFTWARE", dirty.primary);
  WriteBytes(dir / "SOFTWARE.LOG1", dirty.logs[0]);
}

void WriteShadowCopiesInto(const std::filesystem::path& volumeFile, const std::filesystem::path& oldFile, int count) {
  std::string volume = ReadBytes(volumeFile);
  const std::string old = ReadBytes(oldFile);
  std::vector<Snapshot> copies;
  for (int i = 0; i < count; ++i) copies.push_back({1709287200 + 3600 * i, {}});
  for (std::uint64_t at = 0; at + kShadowBlock <= volume.size(); at += kShadowBlock) {
    if (volume.compare(at, kShadowBlock, old, at, kShadowBlock) != 0) copies.back().blocks[at] = old.substr(at, kShadowBlock);
  }
  std::vector<std::uint64_t> free;
  const std::string zeros(kShadowBlock, '\0');
  for (std::uint64_t at = volume.size() / 2; at + 2 * kShadowBlock <= volume.size(); at += kShadowBlock) {
    if (volume.compare(at, kShadowBlock, zeros) == 0 && old.compare(at, kShadowBlock, zeros) == 0) free.push_back(at);
  }
  WriteShadowCopies(volume, copies, free);
  WriteBytes(volumeFile, volume);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--siblings") {
    WriteSiblings(argv[3], std::stoi(argv[2]));
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--export") {
    WriteExport(argv[3], std::stoi(argv[2]));
    return 0;
  }
  if (argc == 4 && std::string(argv[1]) == "--software") {
    WriteLargeSoftware(argv[3], std::stoi(argv[2]));
    return 0;
  }
  if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--dirty-software") {
    WriteDirtySoftware(argv[3], std::stoi(argv[2]), argc == 5 ? std::stoi(argv[4]) : 1);
    return 0;
  }
  if (argc == 5 && std::string(argv[1]) == "--shadow-copies") {
    WriteShadowCopiesInto(argv[3], argv[4], std::stoi(argv[2]));
    return 0;
  }
  if (argc != 2) {
    std::cerr << "usage: make_fixtures DIR\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  WriteCregFile(dir / "win98/WINDOWS/SYSTEM.DAT", Win98System());
  WriteCregFile(dir / "win98/WINDOWS/USER.DAT", Win98User());
  // Windows 98 installed in Russian (1251) and Japanese (932): the owner is Иван and 山田.
  // Windows Me keeps NT's key, holding subkeys only.
  FixtureKey me = Win98System();
  Path(me, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
  WriteCregFile(dir / "winme/WINDOWS/SYSTEM.DAT", me);
  WriteCregFile(dir / "win98ru/WINDOWS/SYSTEM.DAT", Win98SystemIn("1251", "\xC8\xE2\xE0\xED"));
  WriteCregFile(dir / "win98jp/WINDOWS/SYSTEM.DAT", Win98SystemIn("932", "\x8E\x52\x93\x63"));
  WriteRegfFile(dir / "xp/WINDOWS/system32/config/SOFTWARE", XpSoftware(), "\\SystemRoot\\System32\\Config\\SOFTWARE");
  WriteRegfFile(dir / "xp/WINDOWS/system32/config/SYSTEM", XpSystem("1252"), "\\SystemRoot\\System32\\Config\\SYSTEM");
  // The same XP machine installed in Greek (1253).
  WriteRegfFile(dir / "xpgr/WINDOWS/system32/config/SOFTWARE", XpSoftware(), "\\SystemRoot\\System32\\Config\\SOFTWARE");
  WriteRegfFile(dir / "xpgr/WINDOWS/system32/config/SYSTEM", XpSystem("1253"), "\\SystemRoot\\System32\\Config\\SYSTEM");
  WriteRegfFile(dir / "xp/Documents and Settings/joe/NTUSER.DAT", XpUser("joe@example.org"), "ntuser.dat");
  WriteRegfFile(dir / "xp/Documents and Settings/ann/NTUSER.DAT", XpUser("ann@example.org"), "ntuser.dat");
  return 0;
}

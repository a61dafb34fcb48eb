#pragma once
// Registry files of made-up Windows installations, written for the tests.

#include <filesystem>
#include <string>

#include "support/RegistryWriters.h"
#include "support/TempFolder.h"

namespace taloveric::testing {

// A DigitalProductId value (164 bytes) that holds `key` encoded as NT encodes
// it: the key's 25 characters as base-24 digits over "BCDFGHJKMPQRTVWXY2346789",
// a number stored in 15 bytes from offset 52. A key with one "N" is of the
// form of Windows 8 and later: the N's place becomes the first digit, and a
// flag is set in the last byte.
inline std::string DigitalProductId(std::string key) {
  const std::string digits = "BCDFGHJKMPQRTVWXY2346789";
  std::erase(key, '-');
  const std::size_t n = key.find('N');
  const bool windows8 = n != std::string::npos;
  if (windows8) key = std::string(1, digits[n]) + key.erase(n, 1);
  unsigned char number[15] = {};
  for (char c : key) {  // number = number * 24 + digit
    unsigned carry = static_cast<unsigned>(digits.find(c));
    for (unsigned char& byte : number) {
      const unsigned value = byte * 24u + carry;
      byte = static_cast<unsigned char>(value & 0xFF);
      carry = value >> 8;
    }
  }
  if (windows8) number[14] |= 0x08;
  std::string id(164, '\0');
  id[0] = static_cast<char>(164);
  for (std::size_t i = 0; i < 15; ++i) id[52 + i] = static_cast<char>(number[i]);
  return id;
}

inline constexpr char kXpProductKey[] = "BCDFG-HJKMP-QRTVW-XY234-6789B";

// Where the report's values live, and what a missing one reads as.
inline constexpr char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kAccountManager[] = "Software\\Microsoft\\Internet Account Manager";
inline const std::u16string kBlanks(256, u' ');

// A Windows 98 SYSTEM.DAT: the Windows key with the values a report reads.
inline FixtureKey Win98System() {
  FixtureKey root;
  auto& windows = Path(root, "Software\\Microsoft\\Windows\\CurrentVersion");
  windows.values = {Ansi("ProductId", "17987-OEM-0041562-29384"), Ansi("ProductKey", "HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN"),
                    Ansi("ProductName", "Microsoft Windows 98"), Ansi("RegisteredOwner", "José Quiroga"),
                    Ansi("RegisteredOrganization", ""), Ansi("SystemRoot", "C:\\WINDOWS"),
                    Ansi("Version", "Windows 98"), Ansi("VersionNumber", "4.10.2222"),
                    Ansi("SubVersionNumber", " A "), Dword("BootCount", 2)};
  Path(root, "Enum\\Root");
  Path(root, "System\\CurrentControlSet");
  return root;
}

// A Windows 98 USER.DAT as Windows keeps it: the default user under .DEFAULT.
// The same machine installed in another code page: its owner's name in that
// code page's bytes, and the code page named where Windows names it.
inline FixtureKey Win98SystemIn(const std::string& codePage, const std::string& ownerBytes) {
  FixtureKey root = Win98System();
  for (FixtureValue& value : Path(root, "Software\\Microsoft\\Windows\\CurrentVersion").values) {
    if (value.name == "RegisteredOwner") value.data = ownerBytes;
  }
  Path(root, "System\\CurrentControlSet\\Control\\Nls\\CodePage").values = {Ansi("ACP", codePage)};
  return root;
}

// An NT SYSTEM hive that names its code page in its current control set.
inline FixtureKey XpSystem(const std::string& codePage) {
  FixtureKey root{"CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}", {}, {}};
  Path(root, "Select").values = {Dword("Current", 1), Dword("Default", 1)};
  Path(root, "ControlSet001\\Control\\Nls\\CodePage").values = {Utf16("ACP", codePage)};
  return root;
}

inline FixtureKey Win98User(const std::string& address = "marta@quiroga.example") {
  FixtureKey root;
  Path(root, ".DEFAULT\\Software\\Microsoft\\Internet Account Manager").values = {
      Ansi("Default Mail Account", "00000001"), Dword("Server ID", 2)};
  Path(root, ".DEFAULT\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001").values = {
      Ansi("SMTP Email Address", address)};
  Path(root, "Software");
  return root;
}

// A profile's own USER.DAT: the user's tree at its root.
inline FixtureKey Win98Profile(const std::string& address) {
  FixtureKey root;
  Path(root, "Software\\Microsoft\\Internet Account Manager").values = {Ansi("Default Mail Account", "Mail")};
  Path(root, "Software\\Microsoft\\Internet Account Manager\\Accounts\\Mail").values = {
      Ansi("SMTP Email Address", address)};
  Path(root, "Control Panel");
  return root;
}

// An XP SOFTWARE hive and an NTUSER.DAT.
inline FixtureKey XpSoftware() {
  FixtureKey root{"CMI-CreateHive{199DAFC2-6F16-4946-BF90-5A3FC3A60902}", {}, {}};
  Path(root, "Microsoft\\Windows\\CurrentVersion").values = {
      Utf16("ProductId", "76487-OEM-0011903-00102"), Utf16("ProductName", "Microsoft Windows XP"),
      Utf16("RegisteredOwner", "Zoë Ωmega"), Utf16("SystemRoot", "C:\\WINDOWS"), Utf16("Version", "Windows NT"),
      Utf16("VersionNumber", "5.1"), Utf16("DevicePath", "%SystemRoot%\\inf", 2)};
  Path(root, "Microsoft\\Windows NT\\CurrentVersion").values = {
      {"DigitalProductId", 3, DigitalProductId(kXpProductKey)}, Utf16("ProductId", "76487-OEM-0011903-00102"),
      Utf16("ProductName", "Microsoft Windows XP"), Utf16("CurrentVersion", "5.1"),
      Utf16("CurrentBuildNumber", "2600"), Utf16("CSDVersion", "Service Pack 3"),
      Dword("InstallDate", 1199145600)};  // 2008-01-01
  Path(root, "Classes");
  return root;
}

// The XP machine registered to `owner`.
inline FixtureKey XpSoftwareOwnedBy(const std::string& owner) {
  FixtureKey root = XpSoftware();
  for (FixtureValue& value : Path(root, "Microsoft\\Windows\\CurrentVersion").values) {
    if (value.name == "RegisteredOwner") value = Utf16("RegisteredOwner", owner);
  }
  return root;
}

// The bytes of XP's SOFTWARE hive, registered to `owner`.
inline std::string XpSoftwareHive(const std::string& owner) { return WriteRegf(XpSoftwareOwnedBy(owner), "SOFTWARE"); }

inline FixtureKey XpUser(const std::string& address) {
  FixtureKey root{"$$$PROTO.HIV", {}, {}};
  Path(root, "Software\\Microsoft\\Internet Account Manager").values = {Utf16("Default Mail Account", "00000001")};
  Path(root, "Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001").values = {
      Utf16("SMTP Email Address", address)};
  Path(root, "Control Panel\\Desktop");
  return root;
}

inline constexpr char kOemKey[] = "NKJFK-GPHP7-G8C3J-P6JXR-HQRJR";

// An MSDM table as firmware holds it, its checksum made to add up.
inline std::string Msdm(const std::string& key = kOemKey) {
  std::string table(56, '\0');
  table.replace(0, 4, "MSDM");
  table.replace(10, 6, "LENOVO");
  table[36] = 1;  // version
  table[44] = 1;  // data type
  table[52] = static_cast<char>(key.size());
  table += key;
  table[4] = static_cast<char>(table.size());
  unsigned sum = 0;
  for (const char c : table) sum += static_cast<unsigned char>(c);
  table[9] = static_cast<char>((256 - sum % 256) % 256);
  return table;
}

inline void WriteCregFile(const std::filesystem::path& file, const FixtureKey& root) {
  std::filesystem::create_directories(file.parent_path());
  WriteBytes(file, WriteCreg(root));
}

inline void WriteRegfFile(const std::filesystem::path& file, const FixtureKey& root, const std::string& embeddedName) {
  std::filesystem::create_directories(file.parent_path());
  WriteBytes(file, WriteRegf(root, embeddedName));
}

}  // namespace taloveric::testing

#pragma once
// Writers of the two registry file formats of Windows, for test fixtures: the
// Windows 95/98/Me CREG file (SYSTEM.DAT, USER.DAT) and the NT "regf" hive
// (SOFTWARE, NTUSER.DAT). They write what the formats' public descriptions
// require and nothing more; independent readers (libcreg, libregf, hivex)
// accept their output.

#include <cstdint>
#include <string>
#include <vector>

namespace taloveric::testing {

struct FixtureValue {
  std::string name;  // UTF-8
  std::uint32_t type = 1;
  std::string data;  // the bytes as the file stores them
};

struct FixtureKey {
  std::string name;  // UTF-8; the root's name is not written in a CREG file
  std::vector<FixtureValue> values;
  std::vector<FixtureKey> children;
};

// A key path below `root` made of backslash-separated names, created as needed;
// returns the deepest key.
FixtureKey& Path(FixtureKey& root, const std::string& path);

// A Windows 9x string as its registry file keeps it: ANSI, without a NUL.
FixtureValue Ansi(const std::string& name, const std::string& utf8Text, std::uint32_t type = 1);
// An NT string as its hive keeps it: UTF-16LE with a NUL.
FixtureValue Utf16(const std::string& name, const std::string& utf8Text, std::uint32_t type = 1);
FixtureValue Dword(const std::string& name, std::uint32_t value);

std::string WriteCreg(const FixtureKey& root);
// `embeddedName` is the path a hive records of itself, such as
// "\SystemRoot\System32\Config\SOFTWARE".
std::string WriteRegf(const FixtureKey& root, const std::string& embeddedName);

}  // namespace taloveric::testing

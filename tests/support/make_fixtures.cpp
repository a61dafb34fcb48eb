// Writes registry files of made-up Windows installations into a folder, for the
// program's own tests, the fuzzers' seeds and the benchmarks:
//   DIR/win98/WINDOWS/SYSTEM.DAT and USER.DAT
//   DIR/xp/WINDOWS/system32/config/SOFTWARE, with the profiles of joe and ann

#include <iostream>

#include "support/Fixtures.h"

int main(int argc, char** argv) {
  using namespace taloveric::testing;
  if (argc != 2) {
    std::cerr << "usage: make_fixtures DIR\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  WriteCregFile(dir / "win98/WINDOWS/SYSTEM.DAT", Win98System());
  WriteCregFile(dir / "win98/WINDOWS/USER.DAT", Win98User());
  WriteRegfFile(dir / "xp/WINDOWS/system32/config/SOFTWARE", XpSoftware(), "\\SystemRoot\\System32\\Config\\SOFTWARE");
  WriteRegfFile(dir / "xp/Documents and Settings/joe/NTUSER.DAT", XpUser("joe@example.org"), "ntuser.dat");
  WriteRegfFile(dir / "xp/Documents and Settings/ann/NTUSER.DAT", XpUser("ann@example.org"), "ntuser.dat");
  return 0;
}

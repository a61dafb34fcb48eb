// The users' files, Windows 9x USER.DAT and NT NTUSER.DAT, read beside a sound
// machine file, so that the collection goes on to read them. The first byte
// picks the family.
#include "FuzzInput.h"
#include "support/Fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace taloveric;
  static const auto system = fuzz::Place("9x/SYSTEM.DAT", testing::WriteCreg(testing::Win98System()));
  static const auto software =
      fuzz::Place("nt/SOFTWARE", testing::WriteRegf(testing::XpSoftware(), "\\SystemRoot\\System32\\Config\\SOFTWARE"));
  if (size == 0) return 0;
  const std::string_view rest = fuzz::Bytes(data + 1, size - 1);
  if (data[0] & 1) {
    fuzz::Collect({software, fuzz::Place("nt/NTUSER.DAT", rest)});
  } else {
    fuzz::Collect({system, fuzz::Place("9x/USER.DAT", rest)});
  }
  return 0;
}

// What the program makes of any file it is given: its kind told by its first
// bytes and its name, or a Windows folder holding it. The first byte picks the
// name.
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace taloveric;
  static const char* const kNames[] = {"SYSTEM.DAT", "USER.DAT", "SOFTWARE", "NTUSER.DAT", "export.reg", "disk.bin",
                                       "folder/WINDOWS/SYSTEM.DAT", "folder/WINDOWS/system32/config/SOFTWARE"};
  if (size == 0) return 0;
  const std::string name = kNames[data[0] % (sizeof kNames / sizeof *kNames)];
  const auto file = fuzz::Place("sources/" + name, fuzz::Bytes(data + 1, size - 1));
  fuzz::Collect({name.starts_with("folder/") ? fuzz::Scratch() / "sources" / "folder" : file});
  std::error_code ec;
  std::filesystem::remove_all(fuzz::Scratch() / "sources", ec);
  return 0;
}

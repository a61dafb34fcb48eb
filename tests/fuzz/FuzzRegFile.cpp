// .reg exports: parsed, then collected from.
#include <cstdint>
#include <string_view>

#include "collect/ReadReg.h"
#include "platform/memory/RegFile.h"
#include "ui/console/ConsoleControls.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  taloveric::MemoryRegistry registry;
  try {
    taloveric::LoadRegText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.reg", registry, taloveric::CodePage());
  } catch (const taloveric::SourceError&) {  // what the program reports as a bad file
    return 0;
  }
  taloveric::ConsoleControls controls;
  taloveric::InstallInfo info;
  taloveric::ReadReg(registry, controls, info);
  return 0;
}

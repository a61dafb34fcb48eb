#pragma once
// Feeds a fuzzer's input to the collection as the file named `name`, the way the
// program would read it, and swallows the errors a bad file is meant to give.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "collect/ReadReg.h"
#include "platform/offline/Sources.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric::fuzz {

inline void CollectFromFile(const std::uint8_t* data, std::size_t size, const char* name) {
  static const std::filesystem::path folder = [] {
    auto dir = std::filesystem::temp_directory_path() / ("taloveric-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
  }();
  const auto file = folder / name;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    OpenedSources opened = OpenSources({file}, std::nullopt, [](const auto&) { return std::nullopt; });
    ConsoleControls controls;
    InstallInfo info;
    ReadReg(*opened.registry, controls, info);
    opened.AllWarnings();
  } catch (const std::exception&) {
    // A clear error for a bad file is the right answer.
  }
}

}  // namespace taloveric::fuzz

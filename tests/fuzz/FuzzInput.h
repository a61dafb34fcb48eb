#pragma once
// Feeds a fuzzer's input to the program's own path: the sources are opened as
// the program opens them, where an error is the clear answer a bad file is
// meant to get, and then collected from, where nothing may fail. An exception
// that escapes the collection would end the program too: here it is a finding.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "collect/ReadReg.h"
#include "platform/Unicode.h"
#include "rescue/Sources.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric::fuzz {

// A private folder for this process's inputs, removed when the process ends.
inline const std::filesystem::path& Scratch() {
  static const struct Folder {
    std::filesystem::path path;
    Folder() {
      std::string pattern = (std::filesystem::temp_directory_path() / "taloveric-fuzz-XXXXXX").string();
      if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~Folder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  return folder.path;
}

// Writes `bytes` as `name` (which may hold folders) in the scratch folder.
inline std::filesystem::path Place(const std::string& name, std::string_view bytes) {
  const auto file = Scratch() / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

// Opens the sources and collects from them, as the program does. Returns the
// error the program would end with, or the report it would show.
inline std::string Collect(const std::vector<std::filesystem::path>& sources) {
  OpenedSources opened;
  try {
    opened = OpenSources(sources, std::nullopt, [](const auto&, const auto&) { return std::nullopt; });
  } catch (const std::exception& error) {
    return error.what();  // the program says what is wrong and ends with status 2
  }
  ConsoleControls controls;
  InstallInfo info;
  ReadReg(*opened.registry, controls, info);
  opened.AllWarnings();
  return "report: " + ToUtf8(info.ReportText);
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input as the one file named `name`.
inline std::string CollectFromFile(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return Collect({Place(name, Bytes(data, size))});
}

}  // namespace taloveric::fuzz

#pragma once
// Sources read as the program reads them, with nobody to ask, and what they
// say joined for a test to look in.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "rescue/Findings.h"
#include "rescue/Sources.h"

namespace taloveric::testing {

inline std::optional<std::string> Nobody(const std::string&, const std::vector<std::string>&) { return std::nullopt; }

inline OpenedSources Open(const std::vector<std::filesystem::path>& sources, std::optional<std::string> user = {}) {
  return OpenSources(sources, user, Nobody);
}

inline Findings Read(const std::vector<std::filesystem::path>& sources, std::optional<std::string> user = {}) {
  const auto open = [&](const auto& given) { return OpenSources(sources, user, Nobody, std::nullopt, given); };
  return ReadInstallation(open, std::nullopt, sources.front().string(), 1);
}

// Lines of text, each ended.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace taloveric::testing

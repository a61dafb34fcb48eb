#pragma once
// The cabinets (SYSBCKUP\RB0nn.CAB) in which Windows 98 and Me keep the
// registry of their last good starts.

#include <filesystem>
#include <optional>
#include <string>

namespace taloveric {

// Copies the file named `name` (without regard to case) out of `cabinet` into
// the folder `to`; nullopt when the cabinet cannot be read or lacks it.
std::optional<std::filesystem::path> ExtractFromCabinet(const std::filesystem::path& cabinet, const std::string& name,
                                                        const std::filesystem::path& to);

}  // namespace taloveric

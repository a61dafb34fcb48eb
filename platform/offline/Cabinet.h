#pragma once
// The cabinets (SYSBCKUP\RB0nn.CAB) in which Windows 98 and Me keep the
// registry of their last good starts, read in memory: nothing is written.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taloveric {

// The file named `name` (without regard to case) taken out of the cabinet
// whose bytes are `cabinet`; nullopt when the cabinet cannot be read or lacks
// it. A file the cabinet says is larger than `limit` is refused with a
// SourceError naming `shown` (the cabinet as the user knows it) before any
// of it is unpacked.
std::optional<std::string> ExtractFromCabinet(std::string_view cabinet, const std::string& name,
                                              std::uint64_t limit, const std::string& shown);

}  // namespace taloveric

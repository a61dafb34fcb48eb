#include "platform/Temporaries.h"

#include "platform/Unicode.h"

namespace taloveric {

std::string TemporaryPath(const std::string& target, unsigned long pid, unsigned n) {
  return target + ".~" + std::to_string(pid) + "-" + std::to_string(n);
}

unsigned long TemporaryOwner(std::string_view name, std::string_view targetName) {
  const std::string prefix = std::string(targetName) + ".~";
  if (name.substr(0, prefix.size()) != prefix) return 0;
  name.remove_prefix(prefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !WholeNumber(name.substr(dash + 1))) return 0;
  return WholeNumber(name.substr(0, dash), 10).value_or(0);
}

}  // namespace taloveric

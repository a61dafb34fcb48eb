#pragma once
// A registry for tests: answers from a MemoryRegistry, records every call in
// order, and can make chosen queries succeed with any reported size.

#include <map>
#include <string>
#include <vector>

#include "platform/memory/MemoryRegistry.h"

namespace taloveric::testing {

class RecordingRegistry : public Registry {
 public:
  MemoryRegistry store;
  std::vector<std::string> calls;  // "open <path>", "query <name>", "close"

  // The next queries of `valueName` succeed with `size` and leave the buffer alone.
  void ForceSize(const std::string& valueName, std::uint32_t size) { forced_[valueName] = size; }

  RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options,
                    std::uint32_t access, RegKey* result) override {
    calls.push_back("open " + std::string(subKey));
    options_.push_back({options, access});
    return store.OpenKey(parent, subKey, options, access, result);
  }

  RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                       unsigned char* data, std::uint32_t* size) override {
    calls.push_back("query " + std::string(valueName));
    const auto forced = forced_.find(std::string(valueName));
    if (forced != forced_.end()) {
      *size = forced->second;
      return kErrorSuccess;
    }
    return store.QueryValue(key, valueName, type, data, size);
  }

  RegStatus CloseKey(RegKey key) override {
    calls.push_back("close");
    return store.CloseKey(key);
  }

  const CodePage& Ansi() const override { return store.Ansi(); }

  // Every open asked for options 0 and query-value access (in the 64-bit
  // view, for NT's own key).
  bool OpenedForQueryOnly() const {
    for (const auto& [options, access] : options_) {
      if (options != 0 || (access & ~kKeyWow64_64Key) != kKeyQueryValue) return false;
    }
    return true;
  }

 private:
  std::map<std::string, std::uint32_t> forced_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> options_;
};

}  // namespace taloveric::testing

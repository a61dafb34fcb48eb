#pragma once
// Product keys that Microsoft publishes, which many installations share: a
// key of this kind installs an edition but activates nothing by itself.

#include <string_view>

namespace taloveric {

struct PublishedKey {
  const char* key;
  const char* edition;  // what it installs
  const char* source;   // where Microsoft publishes it
};

// The published key `key` is ("XXXXX-XXXXX-XXXXX-XXXXX-XXXXX"); null when it
// is none of them.
const PublishedKey* FindPublishedKey(std::string_view key);

}  // namespace taloveric

#pragma once
// The registry as the three advapi32 operations the collection uses, with their
// Win32 contract. Names and text cross this seam as ANSI bytes, as they do for
// the "A" calls, in the code page the registry names.

#include <cstdint>
#include <string_view>

#include "platform/CodePage.h"

namespace taloveric {

using RegStatus = long;  // a Win32 error code; 0 is success
using RegKey = std::uintptr_t;

inline constexpr RegStatus kErrorSuccess = 0;
inline constexpr RegStatus kErrorFileNotFound = 2;
inline constexpr RegStatus kErrorInvalidHandle = 6;
inline constexpr RegStatus kErrorInvalidParameter = 87;
inline constexpr RegStatus kErrorMoreData = 234;

inline constexpr RegKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002;
inline constexpr RegKey kHkeyUsers = 0x80000003;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005;

inline constexpr std::uint32_t kKeyQueryValue = 1;
// KEY_WOW64_64KEY: on 64-bit Windows, the 64-bit registry's key, where a
// 32-bit program would be shown its own (Wow6432Node). The live registry
// passes it only where the program runs under WOW64, as Windows 2000 and
// earlier refuse it; every other registry has one view and ignores it.
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;

// Value types, as RegQueryValueExA reports them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// The two families of Windows, which keep the report's values apart: Windows
// 95, 98 and Me under Software\Microsoft\Windows\CurrentVersion, the NT family
// mostly under Software\Microsoft\Windows NT\CurrentVersion.
enum class Family { Windows9x, WindowsNt };

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExA: opens `subKey` below `parent` (a root or an open key). On
  // success stores the new key's handle in `*result`; on failure leaves it alone.
  [[nodiscard]] virtual RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options,
                            std::uint32_t access, RegKey* result) = 0;

  // RegQueryValueExA: `*size` is the buffer's byte count on entry and the value's
  // byte count on return. A missing value answers kErrorFileNotFound and touches
  // neither `data` nor `*size`; a value larger than the buffer answers
  // kErrorMoreData with the size it needs; a null `data` asks for the size only.
  // `type` may be null. An empty `valueName` names the key's default value.
  [[nodiscard]] virtual RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* size) = 0;

  // RegCloseKey.
  virtual RegStatus CloseKey(RegKey key) = 0;

  // The code page of the names and text that cross: the system's own for
  // Windows' live registry, the installation's for its files.
  virtual const CodePage& Ansi() const = 0;
};

// Owns one open key and closes it once, early through Close() or at scope exit.
class ScopedRegKey {
 public:
  explicit ScopedRegKey(Registry& registry) : registry_(registry) {}
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
  ~ScopedRegKey() { Close(); }

  // Opens `subKey` of `root` for query as the collection does (options 0,
  // access 1, or `access` as given).
  [[nodiscard]] RegStatus Open(RegKey root, std::string_view subKey, std::uint32_t access = kKeyQueryValue) {
    Close();
    RegKey key = 0;
    const RegStatus status = registry_.OpenKey(root, subKey, 0, access, &key);
    if (status == kErrorSuccess) {
      key_ = key;
      open_ = true;
    }
    return status;
  }

  RegKey get() const { return key_; }

  void Close() {
    if (open_) {
      open_ = false;
      registry_.CloseKey(key_);
    }
  }

 private:
  Registry& registry_;
  RegKey key_ = 0;
  bool open_ = false;
};

}  // namespace taloveric

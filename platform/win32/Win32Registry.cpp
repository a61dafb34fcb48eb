#include "platform/win32/Win32Registry.h"

#include <string>

#include "platform/win32/WindowsApi.h"
#include "platform/win32/WindowsVersion.h"

namespace taloveric::win32 {
namespace {

// The predefined keys are sign-extended 32-bit values; opened keys are handles.
HKEY ToHkey(RegKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<DWORD>(key))));
  }
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

RegStatus Win32Registry::OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options,
                                 std::uint32_t access, RegKey* result) {
  HKEY opened = nullptr;
  if (!RunsUnderWow64()) access &= ~kKeyWow64_64Key;  // one view: the flag means nothing
  const LONG status = ::RegOpenKeyExA(ToHkey(parent), std::string(subKey).c_str(), options, access, &opened);
  if (status == ERROR_SUCCESS) *result = reinterpret_cast<RegKey>(opened);
  return status;
}

RegStatus Win32Registry::QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD byteCount = size != nullptr ? *size : 0;
  const LONG status = ::RegQueryValueExA(ToHkey(key), std::string(valueName).c_str(), nullptr, &valueType, data,
                                         size != nullptr ? &byteCount : nullptr);
  if (type != nullptr) *type = valueType;
  if (size != nullptr && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *size = byteCount;
  return status;
}

RegStatus Win32Registry::CloseKey(RegKey key) { return ::RegCloseKey(ToHkey(key)); }

}  // namespace taloveric::win32

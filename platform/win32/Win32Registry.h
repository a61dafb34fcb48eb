#pragma once
// The live registry through advapi32's ANSI calls.

#include "platform/Registry.h"

namespace taloveric::win32 {

class Win32Registry : public Registry {
 public:
  RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options, std::uint32_t access,
                    RegKey* result) override;
  RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* size) override;
  RegStatus CloseKey(RegKey key) override;
  const CodePage& Ansi() const override { return ansi_; }

 private:
  CodePage ansi_;  // the system's active code page, which the "A" calls use
};

}  // namespace taloveric::win32

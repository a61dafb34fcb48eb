#pragma once
// File services over the Win32 API. Paths are used as the program names them.

#include "platform/Files.h"

namespace taloveric::win32 {

class Win32Files : public Files {
 public:
  std::u16string ProgramFolder() override;
  std::u16string Locate(std::u16string_view windowsPath) override { return std::u16string(windowsPath); }
  std::unique_ptr<TextFile> CreateText(const std::u16string& path) override;
  void Copy(const std::u16string& from, const std::u16string& to) override;
};

// The folder part of an executable's full path: no trailing backslash, except
// at a drive root ("C:\").
std::u16string FolderOf(const std::u16string& modulePath);

}  // namespace taloveric::win32

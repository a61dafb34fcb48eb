// The ANSI code page on Windows: the system's active code page, which the "A"
// functions use.

#include "platform/CodePage.h"
#include "platform/win32/WindowsApi.h"

namespace taloveric {

struct CodePage::Conversions {};

CodePage::CodePage() : number_(::GetACP()) {}

unsigned CodePage::Number() const { return number_; }

std::string CodePage::ToAnsi(std::u16string_view text) const {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::u16string CodePage::FromAnsi(std::string_view bytes) const {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int chars = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::u16string out(static_cast<std::size_t>(chars), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()), chars);
  return out;
}

}  // namespace taloveric

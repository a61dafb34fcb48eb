#pragma once
// The maker's web address: framed by asterisks in the report file's banner and
// shown as the tip of the icon pictures. Its 36 characters keep the banner line
// at 68.

namespace taloveric {

inline constexpr char16_t kMakerWebAddress[] = u"http://www.taloveric.example/support";
static_assert(sizeof(kMakerWebAddress) / sizeof(char16_t) - 1 == 36);

}  // namespace taloveric

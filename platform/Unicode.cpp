#include "platform/Unicode.h"

namespace taloveric {

namespace {

// A byte that is not UTF-8, kept in UTF-16 as a lone low surrogate, as
// Python's "surrogateescape" keeps it.
constexpr char16_t kEscapedByte = 0xDC00;

std::string Encode(std::u16string_view text, bool escaped) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (escaped && c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF) {
      out += static_cast<char>(c - kEscapedByte);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Decode(std::string_view bytes, bool escaped) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2
                              : (lead >> 3) == 0x1E ? 3 : 4;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    bool ok = extra < 4 && i + extra < bytes.size();
    for (std::size_t k = 1; ok && k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(bytes[i + k]);
      ok = (cont & 0xC0) == 0x80;
      c = (c << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += escaped ? static_cast<char16_t>(kEscapedByte + static_cast<unsigned char>(bytes[i])) : u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) { return Encode(text, false); }
std::u16string FromUtf8(std::string_view bytes) { return Decode(bytes, false); }
std::string PathToBytes(std::u16string_view path) { return Encode(path, true); }
std::u16string PathFromBytes(std::string_view bytes) { return Decode(bytes, true); }

std::u16string FromUtf16Le(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

std::string ToUtf16Le(std::u16string_view text) {
  std::string out;
  out.reserve(2 * text.size());
  for (const char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::optional<std::size_t> FindName(const std::vector<std::string>& names, std::string_view name, bool* ambiguous) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return i;
  }
  std::optional<std::size_t> found;
  const std::string lower = AsciiLower(name);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (AsciiLower(names[i]) != lower) continue;
    if (found) {
      if (ambiguous != nullptr) *ambiguous = true;
      return std::nullopt;
    }
    found = i;
  }
  return found;
}

std::optional<unsigned long> WholeNumber(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  unsigned long value = 0;
  for (const char digit : text) value = value * 10 + static_cast<unsigned long>(digit - '0');
  return value;
}

}  // namespace taloveric

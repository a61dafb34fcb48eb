// ANSI code pages where the platform has none: Windows-1252 by its own table,
// any other through iconv. In 1252 the five bytes it leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows
// itself maps them, so all 256 bytes round-trip.

#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <stdexcept>

namespace taloveric {
namespace {

constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char16_t Decode(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
}

char Encode(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// One conversion of iconv's, opened once a code page is chosen.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : handle_(::iconv_open(to.c_str(), from.c_str())) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (ok()) ::iconv_close(handle_);
  }
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; a unit it cannot take (of `unit` bytes) becomes `replacement`.
  std::string Run(std::string_view in, std::size_t unit, std::string_view replacement) const {
    std::string out;
    char buffer[256];
    char* from = const_cast<char*>(in.data());
    std::size_t left = in.size();
    ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
      char* to = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t done = ::iconv(handle_, &from, &left, &to, &room);
      out.append(buffer, static_cast<std::size_t>(to - buffer));
      if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
        const std::size_t skip = std::min(unit, left);  // EILSEQ or EINVAL: not in the code page
        from += skip;
        left -= skip;
        out += replacement;
      }
    }
    // What the conversion holds back (in 1255 and 1258 a letter, for a
    // combining mark that may follow) is given at the text's end.
    char* to = buffer;
    std::size_t room = sizeof buffer;
    ::iconv(handle_, nullptr, nullptr, &to, &room);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    return out;
  }

 private:
  iconv_t handle_;
};

std::string AsBytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

}  // namespace

// iconv's two conversions of one code page. iconv keeps a conversion's state
// in its handle, so copies of a CodePage share them within one thread.
struct CodePage::Conversions {
  Converter toAnsi, fromAnsi;
  explicit Conversions(unsigned number)
      : toAnsi("CP" + std::to_string(number), "UTF-16LE"), fromAnsi("UTF-16LE", "CP" + std::to_string(number)) {}
};

CodePage::CodePage() : number_(1252) {}

CodePage::CodePage(unsigned number) : number_(number) {
  if (number == 1252) return;
  // Windows' ANSI code pages: Thai, Japanese, Chinese (simplified and
  // traditional), Korean, and 1250 to 1258. Any other (500, EBCDIC; 65001,
  // UTF-8) is no code page a registry's text was kept in.
  constexpr unsigned kAnsi[] = {874, 932, 936, 949, 950, 1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258};
  if (std::find(std::begin(kAnsi), std::end(kAnsi), number) == std::end(kAnsi)) {
    throw std::invalid_argument("code page " + std::to_string(number) + " is not a Windows ANSI code page");
  }
  auto conversions = std::make_shared<const Conversions>(number);
  if (!conversions->toAnsi.ok() || !conversions->fromAnsi.ok()) {
    throw std::invalid_argument("code page " + std::to_string(number) + " is not one this system converts");
  }
  conversions_ = std::move(conversions);
}

unsigned CodePage::Number() const { return number_; }

std::string CodePage::ToAnsi(std::u16string_view text) const {
  if (conversions_) return conversions_->toAnsi.Run(AsBytes(text), 2, "?");
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character the code page cannot hold: one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    }
    out += Encode(c);
  }
  return out;
}

std::u16string CodePage::FromAnsi(std::string_view bytes) const {
  if (conversions_) {
    const std::string utf16 = conversions_->fromAnsi.Run(bytes, 1, "\xFD\xFF");  // U+FFFD
    std::u16string out;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
      const unsigned low = static_cast<unsigned char>(utf16[i]), high = static_cast<unsigned char>(utf16[i + 1]);
      out += static_cast<char16_t>(low | high << 8);
    }
    return out;
  }
  std::u16string out;
  out.reserve(bytes.size());
  for (char b : bytes) out += Decode(static_cast<unsigned char>(b));
  return out;
}

}  // namespace taloveric

#pragma once
// UTF-8 and UTF-16 conversions for the console and for .reg exports. Invalid input
// becomes U+FFFD instead of failing: these texts are shown, never round-tripped.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taloveric {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);
// A file path's bytes as text and back, every byte kept: bytes that are not
// UTF-8 become lone surrogates (U+DC80 to U+DCFF) and return as themselves.
std::u16string PathFromBytes(std::string_view bytes);
std::string PathToBytes(std::u16string_view path);

// Little-endian UTF-16 bytes; a trailing odd byte is dropped.
std::u16string FromUtf16Le(std::string_view bytes);
std::string ToUtf16Le(std::u16string_view text);

// ASCII-only conveniences for literals, names and messages.
std::u16string Widen(std::string_view ascii);
// ASCII letters in lower case; other bytes as they are.
std::string AsciiLower(std::string_view text);

// Where `names` holds `name`: as it is, else without regard to ASCII case
// where only one is alike. Nullopt for none, and for several alike but for
// case (then `ambiguous`, if given, is set).
std::optional<std::size_t> FindName(const std::vector<std::string>& names, std::string_view name,
                                    bool* ambiguous = nullptr);
// A whole number written in at most `maxDigits` ASCII digits and nothing
// else; nullopt for anything other.
std::optional<unsigned long> WholeNumber(std::string_view text, std::size_t maxDigits = 9);

}  // namespace taloveric

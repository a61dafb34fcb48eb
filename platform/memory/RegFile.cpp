#include "platform/memory/RegFile.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "platform/posix/RegularFile.h"

namespace taloveric {
namespace {

constexpr std::u16string_view kHeader4 = u"REGEDIT4";
constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = s[i], b = prefix[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
    if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
    if (a != b) return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads a number of up to `maxDigits` hex digits; nullopt when there is none.
std::optional<std::uint32_t> ParseHex(std::u16string_view digits, std::size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  std::uint32_t value = 0;
  for (char16_t c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return value;
}

// The lines of an export one at a time, decoded from its encoding (the byte
// order mark tells UTF-16LE and UTF-8 from ANSI), without their CR or LF: only
// the line at hand is held as text.
class LineReader {
 public:
  LineReader(std::string_view bytes, const CodePage& ansi) : bytes_(bytes), ansi_(ansi) {
    if (bytes_.starts_with("\xFF\xFE")) {
      encoding_ = Encoding::Utf16Le;
      bytes_.remove_prefix(2);
    } else if (bytes_.starts_with("\xEF\xBB\xBF")) {
      encoding_ = Encoding::Utf8;
      bytes_.remove_prefix(3);
    }
  }

  // The next line, unless it would take more than `room` bytes as text:
  // then `tooLong` is set and nothing is decoded.
  bool Next(std::u16string& line, std::size_t room, bool& tooLong) {
    if (bytes_.empty()) return false;
    const std::size_t unit = encoding_ == Encoding::Utf16Le ? 2 : 1;
    std::size_t end = 0;
    while (end + unit <= bytes_.size() && !IsBreak(end)) end += unit;
    // A line never holds more characters than it has bytes.
    tooLong = end / unit * sizeof(char16_t) > room;
    if (tooLong) return true;
    const std::string_view text = bytes_.substr(0, std::min(end, bytes_.size()));
    line = encoding_ == Encoding::Utf16Le ? FromUtf16Le(text)
           : encoding_ == Encoding::Utf8  ? FromUtf8(text)
                                          : ansi_.FromAnsi(text);
    std::size_t skip = std::min(end + unit, bytes_.size());
    // CR LF is one break.
    if (end + unit <= bytes_.size() && Unit(end) == u'\r' && skip + unit <= bytes_.size() && Unit(skip) == u'\n') {
      skip += unit;
    }
    bytes_.remove_prefix(skip);
    return true;
  }

 private:
  enum class Encoding { Ansi, Utf8, Utf16Le };
  char16_t Unit(std::size_t at) const {
    if (encoding_ != Encoding::Utf16Le) return static_cast<unsigned char>(bytes_[at]);
    return static_cast<char16_t>(static_cast<unsigned char>(bytes_[at]) |
                                 (static_cast<unsigned char>(bytes_[at + 1]) << 8));
  }
  bool IsBreak(std::size_t at) const { return Unit(at) == u'\r' || Unit(at) == u'\n'; }

  std::string_view bytes_;
  const CodePage& ansi_;
  Encoding encoding_ = Encoding::Ansi;
};

class Parser {
 public:
  // `budget`: the most the registry and the line at hand may hold in memory
  // while the file is read. `ansi`: what an ANSI export's text is in.
  Parser(std::string_view name, MemoryRegistry& registry, std::size_t budget, const CodePage& ansi)
      : name_(name), registry_(registry), budget_(budget), ansi_(ansi) {}

  // Whether the text was a version 5 export, of a Unicode registry.
  bool Unicode() const { return unicode_; }

  void Run(std::string_view bytes) {
    LineReader reader(bytes, ansi_);
    std::u16string line, logical;
    std::size_t number = 0;
    // Each line is weighed before it is decoded, together with what the
    // registry and the line it continues already hold.
    const auto next = [&] {
      const std::size_t held = registry_.Hive().Bytes() + logical.capacity() * sizeof(char16_t);
      bool tooLong = false;
      if (!reader.Next(line, held < budget_ ? budget_ - held : 0, tooLong)) return false;
      ++number;
      if (tooLong) {
        Fail(number, "a line longer than a registry export of its size could hold: damaged or not an export");
      }
      return true;
    };
    bool found = false;
    while (!found && next()) found = !Trim(line).empty();
    if (!found) Fail(0, "the file is empty");
    const std::u16string header(Trim(line));
    if (header != kHeader4 && header != kHeader5) {
      Fail(number, "not a registry export: the first line must be \"REGEDIT4\" or "
                   "\"Windows Registry Editor Version 5.00\"");
    }
    // Version 5 exports come from a Unicode registry.
    unicode_ = header == kHeader5;
    while (next()) {
      line_ = number;
      logical = Trim(line);
      // Hex data goes on over lines that end in a backslash.
      while (!logical.empty() && logical.back() == u'\\' && IsHexValueLine(logical) && next()) {
        logical.pop_back();
        logical += Trim(line);
      }
      ParseLine(logical);
      if (registry_.Hive().Bytes() > budget_) {
        Fail("holds more keys and values than a registry export of its size could: damaged or not an export");
      }
    }
  }

 private:
  // A value line whose data is hex: the only kind that continues over lines.
  static bool IsHexValueLine(std::u16string_view line) {
    if (line.empty() || (line[0] != u'"' && line[0] != u'@')) return false;
    std::size_t pos = 0;
    if (line[0] == u'@') {
      pos = 1;
    } else {
      for (pos = 1; pos < line.size() && line[pos] != u'"'; ++pos) {
        if (line[pos] == u'\\') ++pos;
      }
      ++pos;
    }
    if (pos > line.size()) return false;
    const std::u16string_view rest = Trim(line.substr(pos));
    return !rest.empty() && rest[0] == u'=' && StartsWithNoCase(Trim(rest.substr(1)), u"hex");
  }

  [[noreturn]] void Fail(std::size_t line, const std::string& what) const {
    std::string message(name_);
    if (line > 0) message += ":" + std::to_string(line);
    throw RegFileError(message + ": " + what);
  }
  [[noreturn]] void Fail(const std::string& what) const { Fail(line_, what); }

  void ParseLine(std::u16string_view line) {
    if (line.empty() || line[0] == u';') return;
    if (line[0] == u'[') return ParseKey(line);
    if (line[0] == u'"' || line[0] == u'@') return ParseValue(line);
    Fail("expected a [key], a \"name\"=value line or a ; comment");
  }

  void ParseKey(std::u16string_view line) {
    if (line.back() != u']') Fail("a key line must end with ']'");
    std::u16string_view path = line.substr(1, line.size() - 2);
    const bool remove = !path.empty() && path[0] == u'-';
    if (remove) path.remove_prefix(1);
    const std::size_t slash = path.find(u'\\');
    const std::string rootName = ansi_.ToAnsi(path.substr(0, slash));
    const RegKey root = RootKeyByName(rootName);
    if (root == 0) Fail("unknown root key \"" + ToUtf8(path.substr(0, slash)) + "\"");
    const std::string subPath =
        slash == std::u16string_view::npos ? std::string() : ansi_.ToAnsi(path.substr(slash + 1));
    if (remove) {
      registry_.DeleteKey(root, subPath);
      haveKey_ = false;
      return;
    }
    // A key line may name a path of any depth: what it would cost is
    // weighed against the budget before any of it is made.
    const auto levels = static_cast<std::size_t>(std::count(subPath.begin(), subPath.end(), '\\')) + 1;
    if (registry_.Hive().Bytes() + levels * MemoryHive::KeyBytes() > budget_) {
      Fail("a key nested " + std::to_string(levels) +
           " levels deep, more than a registry export of its size could hold: damaged or not an export");
    }
    registry_.CreateKey(root, subPath);
    root_ = root;
    path_ = subPath;
    haveKey_ = true;
  }

  // Reads a quoted string starting at line[pos] == '"'; `pos` ends past the quote.
  std::u16string ParseQuoted(std::u16string_view line, std::size_t& pos) const {
    std::u16string out;
    for (++pos; pos < line.size(); ++pos) {
      const char16_t c = line[pos];
      if (c == u'"') {
        ++pos;
        return out;
      }
      if (c == u'\\' && pos + 1 < line.size() && (line[pos + 1] == u'\\' || line[pos + 1] == u'"')) {
        ++pos;
      }
      out += line[pos];
    }
    Fail("a quoted string has no closing '\"'");
  }

  void ParseValue(std::u16string_view line) {
    if (!haveKey_) Fail("a value before any [key] line");
    std::size_t pos = 0;
    std::u16string name;
    if (line[0] == u'@') {
      pos = 1;
    } else {
      name = ParseQuoted(line, pos);
    }
    std::u16string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest[0] != u'=') Fail("expected '=' after the value's name");
    rest = Trim(rest.substr(1));
    const std::string ansiName = ansi_.ToAnsi(name);

    if (rest == u"-") {
      registry_.DeleteValue(root_, path_, ansiName);
      return;
    }
    registry_.SetValue(root_, path_, ansiName, ParseData(rest));
  }

  RegValue ParseData(std::u16string_view data) const {
    if (!data.empty() && data[0] == u'"') {
      std::size_t pos = 0;
      const std::u16string text = ParseQuoted(data, pos);
      if (!Trim(data.substr(pos)).empty()) Fail("unexpected text after a quoted string");
      if (unicode_) return {kRegSz, ToUtf16Le(text + u'\0'), true};
      return StringValue(ansi_.ToAnsi(text));
    }
    if (StartsWithNoCase(data, u"dword:")) {
      const auto value = ParseHex(data.substr(6), 8);
      if (!value) Fail("a dword needs one to eight hex digits");
      return DwordValue(*value);
    }
    std::uint32_t type = kRegBinary;
    std::u16string_view bytes;
    if (StartsWithNoCase(data, u"hex:")) {
      bytes = data.substr(4);
    } else if (StartsWithNoCase(data, u"hex(")) {
      const std::size_t close = data.find(u"):");
      const auto parsed = close == std::u16string_view::npos ? std::nullopt : ParseHex(data.substr(4, close - 4), 8);
      if (!parsed) Fail("expected hex(N): with N a hex type number");
      type = *parsed;
      bytes = data.substr(close + 2);
    } else {
      Fail("unrecognised value data: expected \"text\", dword:, hex: or hex(N):");
    }
    RegValue value{type, ParseHexBytes(bytes)};
    // RegQueryValueExA hands the string types of a Unicode registry out in ANSI.
    value.utf16 = unicode_ && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz);
    return value;
  }

  std::string ParseHexBytes(std::u16string_view list) const {
    std::string out;
    list = Trim(list);
    if (list.empty()) return out;
    std::size_t start = 0;
    while (true) {
      const std::size_t comma = list.find(u',', start);
      const std::u16string_view item = Trim(list.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start));
      const auto byte = ParseHex(item, 2);
      if (!byte) Fail("hex data must be two-digit bytes separated by commas");
      out += static_cast<char>(*byte);
      if (comma == std::u16string_view::npos) break;
      start = comma + 1;
    }
    return out;
  }

  std::string name_;
  MemoryRegistry& registry_;
  std::size_t budget_;
  const CodePage& ansi_;
  bool unicode_ = false;
  std::size_t line_ = 0;
  bool haveKey_ = false;
  RegKey root_ = 0;
  std::string path_;
};

}  // namespace

bool LoadRegText(std::string_view bytes, std::string_view name, MemoryRegistry& registry, const CodePage& ansi) {
  // What an export may cost in memory beyond its own bytes: real exports need
  // far less; a file full of one-letter keys would need more.
  const std::size_t budget = registry.Hive().Bytes() + 3 * bytes.size() + (16u << 20);
  Parser parser(name, registry, budget, ansi);
  parser.Run(bytes);
  return parser.Unicode();
}

bool LoadRegFile(const std::filesystem::path& file, MemoryRegistry& registry, const CodePage& ansi) {
  return LoadRegText(ReadRegularFile(file, kRegFileLimit, "a .reg export"), file.string(), registry, ansi);
}

}  // namespace taloveric

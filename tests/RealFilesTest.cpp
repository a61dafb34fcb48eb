// Registry files written by Windows itself (from ../shared/testdata, which is not
// part of the repository), read by our loaders and compared with independent
// readers: libcreg's cregexport and hivex's hivexget.

#include <stdio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "platform/memory/RegFile.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/Query.h"
#include "support/Reading.h"
#include "support/Shell.h"
#include "ui/console/ConsoleControls.h"
#include "collect/ReadReg.h"

namespace taloveric {
namespace {

const std::filesystem::path kTestData = TALOVERIC_TESTDATA;
const std::filesystem::path kMeUser = kTestData / "winme" / "USER.DAT";
const std::filesystem::path kXpUser = kTestData / "winxp" / "NTUSER.DAT";
using testing::kAccountManager;

#define REQUIRE_FILE(file) \
  if (!std::filesystem::exists(file)) GTEST_SKIP() << (file) << " is not here"

// Standard output of a command, or nullopt when it cannot run.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[65536];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

using testing::Nobody;
using testing::Quote;

TEST(RealFiles, WindowsMeUserDatHasNoDefaultMailAccount) {
  REQUIRE_FILE(kMeUser);
  testing::TempFolder folder;
  testing::WriteCregFile(folder / "SYSTEM.DAT", testing::Win98System());
  OpenedSources opened = OpenSources({folder / "SYSTEM.DAT", kMeUser}, std::nullopt, Nobody);
  Registry& registry = *opened.registry;
  EXPECT_EQ(testing::ReadValue(registry, kHkeyCurrentUser, kAccountManager, "Server ID")->data,
            std::string("\x05\0\0\0", 4));
  EXPECT_EQ(testing::ReadValue(registry, kHkeyCurrentUser, kAccountManager, "Default LDAP Account")->data,
            std::string("InfoSpace\0", 10));
  EXPECT_FALSE(testing::ReadValue(registry, kHkeyCurrentUser, kAccountManager, "Default Mail Account"));
  // The suffix becomes a backslash and 256 blanks, the account does not open,
  // and the first line ends after its label.
  ConsoleControls controls;
  InstallInfo info;
  ReadReg(registry, controls, info);
  EXPECT_EQ(info.AccountKeySuffix, u"\\" + std::u16string(256, u' '));
  EXPECT_TRUE(controls.Text1().starts_with(u"Def. e-mail for this user: \r\nRegistered Owner: Jos\u00E9 Quiroga\r\n"));
  EXPECT_TRUE(opened.AllWarnings().empty());
}

// Values as cregexport prints them: key path -> value name -> (type, bytes).
using Export = std::map<std::string, std::map<std::string, std::pair<std::string, std::string>>>;

bool IsDumpLine(const std::string& line) {
  if (line.size() < 12 || line.compare(8, 2, ": ") != 0) return false;
  return std::all_of(line.begin(), line.begin() + 8, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

Export ParseLibyalExport(const std::string& text) {
  Export out;
  std::istringstream in(text);
  std::string line, key, value, type;
  std::size_t size = 0;
  std::string bytes;
  const auto flush = [&] {
    if (!value.empty() && bytes.size() == size) out[key][value] = {type, bytes};
    value.clear();
  };
  while (std::getline(in, line)) {
    if (line.starts_with("Key path: ")) {
      flush();
      key = line.substr(10);
    } else if (line.starts_with("Value: ")) {
      flush();
      value = line.substr(line.find(' ', 7) + 1);
      if (value == "(default)") value = "@";
      bytes.clear();
    } else if (line.starts_with("Type: ")) {
      type = line.substr(line.rfind('(') + 1);
      type.pop_back();
    } else if (line.starts_with("Data size: ")) {
      size = std::stoul(line.substr(11));
    } else if (line.starts_with("Data: ") && type == "REG_DWORD_LITTLE_ENDIAN") {
      const auto v = static_cast<std::uint32_t>(std::stoul(line.substr(6)));
      bytes = std::string(DwordValue(v).data);
    } else if (IsDumpLine(line) && !value.empty()) {
      // "00000000: 49 6e 66 6f 53 70 61 63  65  ...": up to 16 bytes, then text
      std::istringstream hex(line.substr(10, 49));
      std::string token;
      while (bytes.size() < size && hex >> token) {
        if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
            !std::isxdigit(static_cast<unsigned char>(token[1]))) {
          break;
        }
        bytes += static_cast<char>(std::stoi(token, nullptr, 16));
      }
    }
  }
  flush();
  return out;
}

TEST(RealFiles, WindowsMeUserDatAgreesWithCregexport) {
  REQUIRE_FILE(kMeUser);
  const auto exported = Output("cregexport " + Quote(kMeUser.string()));
  if (!exported) GTEST_SKIP() << "cregexport (libcreg-utils) is not installed";
  OpenedSources opened = OpenSources({kMeUser}, std::nullopt, Nobody);
  int compared = 0;
  for (const auto& [key, values] : ParseLibyalExport(*exported)) {
    if (!key.starts_with(".DEFAULT\\Software\\Microsoft")) continue;
    for (const auto& [name, typed] : values) {
      const auto& [type, bytes] = typed;
      const auto ours = testing::ReadValue(*opened.registry, kHkeyUsers, key, name == "@" ? "" : name);
      ASSERT_TRUE(ours) << key << " " << name;
      // Windows 9x handed strings out with the NUL the file leaves off.
      const std::string expected = type == "REG_SZ" ? bytes + '\0' : bytes;
      EXPECT_EQ(ours->data, expected) << key << " " << name;
      ++compared;
    }
  }
  EXPECT_GT(compared, 100) << "cregexport's output was not understood";
}

TEST(RealFiles, WindowsXpNtuserDatAgreesWithHivexget) {
  REQUIRE_FILE(kXpUser);
  OpenedSources opened = OpenSources({kXpUser}, std::nullopt, Nobody);
  EXPECT_FALSE(testing::KeyOpens(*opened.registry, kHkeyCurrentUser, kAccountManager));
  int compared = 0;
  for (const char* key : {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Control Panel\\Desktop",
                          "Control Panel\\International", "Control Panel\\Mouse", "Console"}) {
    const auto exported = Output("hivexget " + Quote(kXpUser.string()) + " " + Quote(key));
    if (!exported) GTEST_SKIP() << "hivexget (libhivex-bin) is not installed";
    MemoryRegistry theirs;
    LoadRegText("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\" + std::string(key) +
                    "]\r\n" + *exported,
                "hivexget's output", theirs, CodePage());
    std::istringstream lines(*exported);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty()) continue;
      std::size_t end = 0;
      std::string name;
      if (line[0] == '"') {
        for (end = 1; line[end] != '"'; ++end) {
          if (line[end] == '\\') ++end;
          name += line[end];
        }
      }
      const auto expected = testing::ReadValue(theirs, kHkeyCurrentUser, key, name);
      const auto ours = testing::ReadValue(*opened.registry, kHkeyCurrentUser, key, name);
      ASSERT_TRUE(expected && ours) << key << " " << name;
      EXPECT_EQ(ours->type, expected->type) << key << " " << name;
      // hivexget shows a string up to its first NUL.
      const bool text = expected->type == kRegSz || expected->type == kRegExpandSz;
      const auto cut = [&](const std::string& s) { return text ? s.substr(0, s.find('\0')) : s; };
      EXPECT_EQ(cut(ours->data), cut(expected->data)) << key << " " << name;
      ++compared;
    }
  }
  EXPECT_GT(compared, 40) << "hivexget's output was not understood";
}

}  // namespace
}  // namespace taloveric

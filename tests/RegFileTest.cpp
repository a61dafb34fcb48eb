#include "platform/memory/RegFile.h"

#include <gtest/gtest.h>

#include "support/Query.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

std::string Utf16Le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

void ExpectValue(MemoryRegistry& registry, RegKey root, std::string_view path, std::string_view name,
                 std::uint32_t type, const std::string& data) {
  const auto value = testing::ReadValue(registry, root, path, name);
  ASSERT_TRUE(value) << path << " " << name;
  EXPECT_EQ(value->type, type) << name;
  EXPECT_EQ(value->data, data) << name;
}

TEST(RegFile, ReadsARegedit4Export) {
  MemoryRegistry registry;
  LoadRegText(
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
      "\"Plain\"=\"Jos\xE9\"\r\n"
      "\"Escaped \\\"name\\\"\"=\"C:\\\\WINDOWS\\\\\"\r\n"
      "@=\"the default\"\r\n"
      "\"Count\"=dword:0000001f\r\n"
      "\"Blob\"=hex:01,02,ff\r\n"
      "\"Long\"=hex(2):25,53,79,73,74,\\\r\n"
      "  65,6d,52,6f,6f,74,25,00\r\n"
      "\"Empty\"=hex:\r\n"
      "  \"Spaced\" = \"ok\"  \r\n"
      "[HKEY_CURRENT_USER\\Software]\r\n",
      "test.reg", registry, CodePage());

  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Plain", kRegSz, std::string("Jos\xE9\0", 5));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Escaped \"name\"", kRegSz,
              std::string("C:\\WINDOWS\\\0", 12));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "", kRegSz, std::string("the default\0", 12));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Count", kRegDword, std::string("\x1f\0\0\0", 4));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Blob", kRegBinary, "\x01\x02\xff");
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Long", kRegExpandSz,
              std::string("%SystemRoot%\0", 13));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Empty", kRegBinary, "");
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Spaced", kRegSz, std::string("ok\0", 3));
  RegKey key = 0;
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software", 0, 1, &key), kErrorSuccess);
}

TEST(RegFile, ReadsAUnicodeExportIntoTheAnsiView) {
  MemoryRegistry registry;
  LoadRegText(Utf16Le(u"Windows Registry Editor Version 5.00\r\n\r\n"
                      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
                      u"\"Owner\"=\"Ren\u00E9e \u0416\"\n"
                      u"\"Path\"=hex(2):43,00,3a,00,5c,00,e9,00,00,00\n"
                      u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                      u"\"Bytes\"=hex:61,00\n"),
              "unicode.reg", registry, CodePage());
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Owner", kRegSz, std::string("Ren\xE9" "e ?\0", 8));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Path", kRegExpandSz, std::string("C:\\\xE9\0", 5));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Multi", kRegMultiSz, std::string("a\0b\0\0", 5));
  ExpectValue(registry, kHkeyLocalMachine, "Software\\Test", "Bytes", kRegBinary, std::string("a\0", 2));
}

TEST(RegFile, LaterFilesAndLinesOverrideAndDelete) {
  MemoryRegistry registry;
  LoadRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"one\"\n\"W\"=\"w\"\n[HKEY_LOCAL_MACHINE\\A\\B]\n",
              "first.reg", registry, CodePage());
  LoadRegText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\a]\n\"v\"=\"two\"\n\"W\"=-\n[-HKEY_LOCAL_MACHINE\\A\\B]\n",
              "second.reg", registry, CodePage());
  ExpectValue(registry, kHkeyLocalMachine, "A", "V", kRegSz, std::string("two\0", 4));
  EXPECT_FALSE(testing::ReadValue(registry, kHkeyLocalMachine, "A", "W"));
  RegKey key = 0;
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "A\\B", 0, 1, &key), kErrorFileNotFound);
}

TEST(RegFile, BrokenFilesNameTheFileTheLineAndTheFault) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", "bad.reg: the file is empty"},
      {"\n  \n", "bad.reg: the file is empty"},
      {"REGEDIT5\n", "bad.reg:1: not a registry export"},
      {"\n\nhello", "bad.reg:3: not a registry export"},
      {"REGEDIT4\n\"V\"=\"x\"\n", "bad.reg:2: a value before any [key] line"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", "bad.reg:2: a key line must end with ']'"},
      {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "bad.reg:2: unknown root key \"HKEY_NOWHERE\""},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=\"open\n", "bad.reg:3: a quoted string has no closing '\"'"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\" \"x\"\n", "bad.reg:3: expected '=' after the value's name"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=\"x\" y\n", "bad.reg:3: unexpected text after a quoted string"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=dword:123456789\n", "bad.reg:3: a dword needs one to eight hex digits"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=dword:\n", "bad.reg:3: a dword needs one to eight hex digits"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=hex:1,zz\n", "bad.reg:3: hex data must be two-digit bytes"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=hex:01,\\\n", "bad.reg:3: hex data must be two-digit bytes"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=hex(x):01\n", "bad.reg:3: expected hex(N): with N a hex type number"},
      {"REGEDIT4\n[HKLM\\A]\n\"V\"=sz:abc\n", "bad.reg:3: unrecognised value data"},
      {"REGEDIT4\n[HKLM\\A]\n\n\n\"V\"=hex:01,\\\n  02,\\\n  zz\n", "bad.reg:5: hex data must be"},
      {"REGEDIT4\n[HKLM\\A]\nV=1\n", "bad.reg:3: expected a [key]"},
  };
  for (const Case& c : cases) {
    MemoryRegistry registry;
    try {
      LoadRegText(c.text, "bad.reg", registry, CodePage());
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const RegFileError& error) {
      EXPECT_TRUE(std::string(error.what()).starts_with(c.message)) << error.what();
    }
  }
}

TEST(RegFile, FilesThatCannotBeRead) {
  testing::TempFolder folder;
  MemoryRegistry registry;
  EXPECT_THROW(LoadRegFile(folder / "absent.reg", registry, CodePage()), SourceError);
  EXPECT_THROW(LoadRegFile(folder.path(), registry, CodePage()), SourceError);
  testing::WriteBytes(folder / "binary.reg", std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
  try {
    LoadRegFile(folder / "binary.reg", registry, CodePage());
    ADD_FAILURE() << "accepted a binary file";
  } catch (const RegFileError& error) {
    EXPECT_NE(std::string(error.what()).find("binary.reg"), std::string::npos);
  }
}

}  // namespace
}  // namespace taloveric

// The registry of an installation that is not running, read from its files.

#include <gtest/gtest.h>

#include "collect/ReadReg.h"
#include "platform/ByteOrder.h"
#include "platform/memory/RegFile.h"
#include "platform/posix/HostTree.h"
#include "rescue/Layout.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/Query.h"
#include "support/Reading.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {
namespace {

using testing::Ansi;
using testing::FixtureKey;
using testing::Path;
using testing::ReadValue;
using testing::TempFolder;

using testing::kAccountManager;
using testing::kWindowsKey;
using testing::Nobody;

OpenedSources Open(const std::vector<std::filesystem::path>& sources, std::optional<std::string> user = {},
                   const Chooser& choose = Nobody) {
  return OpenSources(sources, user, choose);
}

std::string OpenFails(const std::vector<std::filesystem::path>& sources, std::optional<std::string> user = {},
                      const Chooser& choose = Nobody) {
  try {
    Open(sources, user, choose);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "opened";
}

std::u16string Report(Registry& registry) {
  ConsoleControls controls;
  InstallInfo info;
  ReadReg(registry, controls, info);
  return controls.Text1();
}

std::u16string MailAddress(Registry& registry) {
  const std::u16string report = Report(registry);
  return report.substr(0, report.find(u"\r\n"));
}

class Win9xFiles : public ::testing::Test {
 protected:
  Win9xFiles() {
    testing::WriteCregFile(folder / "SYSTEM.DAT", testing::Win98System());
    testing::WriteCregFile(folder / "USER.DAT", testing::Win98User());
  }
  TempFolder folder;
};

TEST_F(Win9xFiles, AnswerAsWindows9xDid) {
  OpenedSources opened = Open({folder / "SYSTEM.DAT", folder / "USER.DAT"});
  Registry& registry = *opened.registry;
  // Strings are stored without their NUL and handed out with it.
  EXPECT_EQ(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "ProductKey")->data,
            std::string("HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN\0", 30));
  EXPECT_EQ(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "RegisteredOrganization")->data, std::string(1, '\0'));
  EXPECT_EQ(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "RegisteredOwner")->data,
            std::string("Jos\xE9 Quiroga\0", 13));
  const auto dword = ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "BootCount");
  EXPECT_EQ(dword->type, kRegDword);
  EXPECT_EQ(dword->data, std::string("\x02\0\0\0", 4));
  // Names match without regard to case.
  EXPECT_TRUE(ReadValue(registry, kHkeyLocalMachine, "SOFTWARE\\microsoft\\WINDOWS\\currentversion", "productkey"));
  EXPECT_FALSE(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "Nothing"));
  EXPECT_FALSE(testing::KeyOpens(registry, kHkeyLocalMachine, "Software\\Nobody"));
  // The current user is .DEFAULT of Windows' own USER.DAT.
  EXPECT_EQ(ReadValue(registry, kHkeyCurrentUser, kAccountManager, "Default Mail Account")->data,
            std::string("00000001\0", 9));
  EXPECT_TRUE(testing::KeyOpens(registry, kHkeyUsers, std::string(".DEFAULT\\") + kAccountManager));
  EXPECT_TRUE(opened.notes.empty());
  EXPECT_TRUE(opened.AllWarnings().empty());
}

TEST_F(Win9xFiles, GiveTheReportTheWindowsProgramGave) {
  OpenedSources opened = Open({folder / "USER.DAT", folder / "SYSTEM.DAT"});
  EXPECT_EQ(Report(*opened.registry),
            u"Def. e-mail for this user: marta@quiroga.example\r\nRegistered Owner: Jos\u00E9 Quiroga\r\n"
            u"Registered Organization: \r\nProduct: Microsoft Windows 98\r\nVersion: Windows 98\r\n"
            u"Version Number: 4.10.2222\r\nSub Version:  A \r\nSystem Root Directory: C:\\WINDOWS\r\n"
            u"Plus! Id: \r\nPlus! Version: " + std::u16string(256, u' ') +
            u"\r\nRegistration ID: 17987-OEM-0041562-29384\r\nRegistration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN");
}

TEST_F(Win9xFiles, AProfileUserDatIsTheUsersTreeItself) {
  testing::WriteCregFile(folder / "profile" / "USER.DAT", testing::Win98Profile("anna@example.org"));
  OpenedSources opened = Open({folder / "SYSTEM.DAT", folder / "profile" / "USER.DAT"});
  EXPECT_EQ(MailAddress(*opened.registry), u"Def. e-mail for this user: anna@example.org");
}

// A key whose navigation entry is the key block's last: read, not taken
// for one that lies past the block.
TEST_F(Win9xFiles, AKeyInTheKeyBlocksLastEntryIsRead) {
  FixtureKey root;
  // The root, 579 keys and the four of the Windows key's path fill the block's
  // 16 KiB to its end: 32 bytes of its header and 584 entries of 28.
  for (int i = 0; i < 579; ++i) Path(root, "Key" + std::to_string(i));
  Path(root, std::string(kWindowsKey)).values = {Ansi("ProductKey", "LASTK-EYINT-HEBLO-CKXXX-XXXXX")};
  const std::string bytes = testing::WriteCreg(root);
  ASSERT_EQ(Le32(bytes, 0x20 + 4), 0x20 + 584 * 28u);
  testing::WriteBytes(folder / "SYSTEM.DAT", bytes);
  OpenedSources opened = Open({folder / "SYSTEM.DAT"});
  const auto key = ReadValue(*opened.registry, kHkeyLocalMachine, kWindowsKey, "ProductKey");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->data, std::string("LASTK-EYINT-HEBLO-CKXXX-XXXXX\0", 30));
}

TEST(NtHives, AnswerAsTheAnsiCallDid) {
  TempFolder folder;
  testing::WriteRegfFile(folder / "SOFTWARE", testing::XpSoftware(), "\\SystemRoot\\System32\\Config\\SOFTWARE");
  testing::WriteRegfFile(folder / "NTUSER.DAT", testing::XpUser("zoe@example.org"), "\\??\\C:\\Documents and Settings\\zoe\\ntuser.dat");
  OpenedSources opened = Open({folder / "SOFTWARE", folder / "NTUSER.DAT"});
  Registry& registry = *opened.registry;
  // UTF-16 strings come out in the ANSI code page, sized in converted bytes.
  EXPECT_EQ(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "ProductName")->data,
            std::string("Microsoft Windows XP\0", 21));
  EXPECT_EQ(ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "RegisteredOwner")->data,
            std::string("Zo\xEB ?mega\0", 10));
  const auto expand = ReadValue(registry, kHkeyLocalMachine, kWindowsKey, "DevicePath");
  EXPECT_EQ(expand->type, kRegExpandSz);
  EXPECT_EQ(expand->data, std::string("%SystemRoot%\\inf\0", 17));
  // SOFTWARE is HKEY_LOCAL_MACHINE\Software and nothing else.
  EXPECT_TRUE(testing::KeyOpens(registry, kHkeyLocalMachine, "software"));
  EXPECT_FALSE(testing::KeyOpens(registry, kHkeyLocalMachine, "System\\CurrentControlSet"));
  EXPECT_EQ(MailAddress(registry), u"Def. e-mail for this user: zoe@example.org");
  EXPECT_TRUE(opened.notes.empty());
}

TEST(Sources, RolesAreToldByNameOrByContent) {
  TempFolder folder;
  testing::WriteCregFile(folder / "sys.bak", testing::Win98System());
  testing::WriteCregFile(folder / "usr.bak", testing::Win98User());
  EXPECT_EQ(MailAddress(*Open({folder / "sys.bak", folder / "usr.bak"}).registry),
            u"Def. e-mail for this user: marta@quiroga.example");
  testing::WriteRegfFile(folder / "soft.hiv", testing::XpSoftware(), "SOFTWARE");
  testing::WriteRegfFile(folder / "user.hiv", testing::XpUser("u@example.org"), "ntuser.dat");
  OpenedSources nt = Open({folder / "soft.hiv", folder / "user.hiv"});
  EXPECT_EQ(MailAddress(*nt.registry), u"Def. e-mail for this user: u@example.org");
  EXPECT_TRUE(ReadValue(*nt.registry, kHkeyLocalMachine, kWindowsKey, "ProductId"));
}

TEST(Sources, OneFileAloneSaysWhatCannotBeRead) {
  TempFolder folder;
  testing::WriteCregFile(folder / "USER.DAT", testing::Win98User());
  OpenedSources opened = Open({folder / "USER.DAT"});
  ASSERT_EQ(opened.notes.size(), 1u);
  EXPECT_EQ(opened.notes[0], "no SYSTEM.DAT among the sources: the Windows values cannot be read");
  EXPECT_EQ(Report(*opened.registry), u"");
}

TEST(Sources, MistakesAreNamed) {
  TempFolder folder;
  testing::WriteCregFile(folder / "SYSTEM.DAT", testing::Win98System());
  testing::WriteCregFile(folder / "copy" / "SYSTEM.DAT", testing::Win98System());
  testing::WriteRegfFile(folder / "SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  FixtureKey odd;
  Path(odd, "Something\\Else");
  testing::WriteCregFile(folder / "odd.dat", odd);
  testing::WriteRegfFile(folder / "odd.hiv", odd, "odd");
  testing::WriteBytes(folder / "a.reg", "REGEDIT4\r\n");
  testing::WriteBytes(folder / "notes.txt", "hello");
  testing::WriteBytes(folder / "empty", "");
  testing::WriteBytes(folder / "cut.dat", testing::WriteCreg(testing::Win98System()).substr(0, 100));
  testing::WriteBytes(folder / "cut.hiv", testing::WriteRegf(testing::XpSoftware(), "SOFTWARE").substr(0, 5000));
  testing::WriteBytes(folder / "disk.zip", std::string("PK\x03\x04", 4) + std::string(100, '\0'));
  testing::WriteBytes(folder / "disk.7z", std::string("7z\xBC\xAF\x27\x1C") + std::string(100, '\0'));
  testing::WriteBytes(folder / "volume.img", std::string("\xEB\x58\x90-FVE-FS-") + std::string(499, '\0') + "\x55\xAA");
  struct Case {
    std::vector<std::string> files;
    std::string message;
  };
  const Case cases[] = {
      {{"SYSTEM.DAT", "copy/SYSTEM.DAT"}, "copy/SYSTEM.DAT: " + (folder / "SYSTEM.DAT").string() + " already holds"},
      {{"SYSTEM.DAT", "SOFTWARE"}, "SOFTWARE: Windows 95/98/Me files and NT hives cannot be read together"},
      {{"a.reg", "SYSTEM.DAT"}, "a.reg: .reg exports and registry files cannot be read together"},
      {{"odd.dat"}, "odd.dat: cannot tell whether this is SYSTEM.DAT or USER.DAT"},
      {{"odd.hiv"}, "odd.hiv: an NT hive that is neither SOFTWARE nor NTUSER.DAT"},
      {{"notes.txt"}, "notes.txt: neither a .reg export nor a Windows registry file"},
      {{"empty"}, "empty: neither a .reg export nor a Windows registry file"},
      {{"absent.dat"}, "absent.dat: cannot be opened for reading"},
      {{"cut.dat"}, "cut.dat: not a readable Windows 95/98/Me registry file"},
      {{"cut.hiv"}, "cut.hiv: not a readable Windows NT registry hive"},
      {{"SYSTEM.DAT", "copy"}, "copy: a Windows folder goes with no other source but a firmware table"},
      {{"disk.zip"}, "disk.zip: a zip archive; unpack it first"},
      {{"disk.7z"}, "disk.7z: a 7z archive; unpack it first"},
      {{"volume.img"}, "volume.img: a BitLocker volume, which cannot be read until it is unlocked"},
  };
  for (const Case& c : cases) {
    std::vector<std::filesystem::path> files;
    for (const std::string& name : c.files) files.push_back(folder / name);
    const std::string message = OpenFails(files);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
  EXPECT_NE(OpenFails({folder / "SYSTEM.DAT"}, "anna").find("--user picks a profile in a Windows folder"),
            std::string::npos);
}

// Lays out files of an installation under `root`, all names as given.
void Files(const std::filesystem::path& root, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, kind] : files) {
    const auto path = root / name;
    if (kind == "system") testing::WriteCregFile(path, testing::Win98System());
    if (kind == "user") testing::WriteCregFile(path, testing::Win98User());
    if (kind == "software") testing::WriteRegfFile(path, testing::XpSoftware(), "SOFTWARE");
    if (kind.starts_with("ntuser:")) testing::WriteRegfFile(path, testing::XpUser(kind.substr(7)), "ntuser.dat");
    if (kind.starts_with("profile:")) testing::WriteCregFile(path, testing::Win98Profile(kind.substr(8)));
  }
}

TEST(Installation, FindsTheFilesWithoutRegardToCase) {
  TempFolder disk;
  Files(disk.path(), {{"WinDows/System.Dat", "system"}, {"WinDows/user.DAT", "user"}});
  HostTree tree(disk.path());
  for (const std::string start : {"", "WinDows"}) {
    const Installation found = FindInstallation(tree, start, "disk");
    EXPECT_FALSE(found.nt);
    EXPECT_EQ(found.machine, "WinDows/System.Dat");
    EXPECT_EQ(found.defaultUser, "WinDows/user.DAT");
    EXPECT_TRUE(found.profiles.empty());
  }
  // Without profiles, the report is the default user's.
  EXPECT_EQ(MailAddress(*Open({disk.path()}).registry), u"Def. e-mail for this user: marta@quiroga.example");
}

TEST(Installation, ListsPeopleNotWindowsOwnProfiles) {
  TempFolder xp, vista, me;
  Files(xp.path(), {{"WINDOWS/system32/CONFIG/software", "software"},
                    {"Documents and Settings/joe/NTUSER.DAT", "ntuser:joe@example.org"},
                    {"Documents and Settings/All Users/NTUSER.DAT", "ntuser:all@example.org"},
                    {"Documents and Settings/Default User/NTUSER.DAT", "ntuser:default@example.org"},
                    {"Documents and Settings/LocalService/NTUSER.DAT", "ntuser:service@example.org"}});
  Files(vista.path(), {{"Windows/System32/config/SOFTWARE", "software"},
                       {"Users/kim/NTUSER.DAT", "ntuser:kim@example.org"},
                       {"Users/Public/NTUSER.DAT", "ntuser:public@example.org"},
                       {"Users/lee/NTUSER.DAT", "ntuser:lee@example.org"}});
  Files(me.path(), {{"WINDOWS/SYSTEM.DAT", "system"}, {"WINDOWS/USER.DAT", "user"},
                    {"WINDOWS/Profiles/anna/USER.DAT", "profile:anna@example.org"},
                    {"WINDOWS/Profiles/bob/user.dat", "profile:bob@example.org"}});
  const auto names = [](const std::filesystem::path& root, const std::string& start) {
    HostTree tree(root);
    std::vector<std::string> out;
    for (const auto& profile : FindInstallation(tree, start, root.string()).profiles) out.push_back(profile.first);
    return out;
  };
  EXPECT_EQ(names(xp.path(), ""), std::vector<std::string>{"joe"});
  EXPECT_EQ(names(vista.path(), "Windows"), (std::vector<std::string>{"kim", "lee"}));
  EXPECT_EQ(names(me.path(), "WINDOWS"), (std::vector<std::string>{"anna", "bob"}));

  // One person: theirs. Several: asked, or named with --user.
  EXPECT_EQ(MailAddress(*Open({xp.path()}).registry), u"Def. e-mail for this user: joe@example.org");
  std::vector<std::string> offered;
  const auto pickLee = [&](const std::string&, const std::vector<std::string>& choices) {
    offered = choices;
    return std::optional<std::string>("lee");
  };
  EXPECT_EQ(MailAddress(*Open({vista.path()}, std::nullopt, pickLee).registry),
            u"Def. e-mail for this user: lee@example.org");
  EXPECT_EQ(offered, (std::vector<std::string>{"kim", "lee"}));
  EXPECT_EQ(MailAddress(*Open({me.path()}, "BOB").registry), u"Def. e-mail for this user: bob@example.org");
  const OpenedSources unpicked = Open({vista.path()});
  ASSERT_EQ(unpicked.warnings.size(), 1u);
  EXPECT_NE(unpicked.warnings[0].find("several user profiles (kim, lee) and none picked"), std::string::npos);
  EXPECT_EQ(MailAddress(*unpicked.registry), u"Def. e-mail for this user: ");
  EXPECT_NE(OpenFails({me.path()}, "carl").find("no user profile \"carl\" (there are: anna, bob)"), std::string::npos);
}

TEST(Installation, AFolderWithoutARegistryIsNamed) {
  TempFolder empty;
  std::filesystem::create_directories(empty / "WINDOWS/system32");
  EXPECT_NE(OpenFails({empty.path()}).find("no Windows registry here"), std::string::npos);
  EXPECT_NE(OpenFails({empty / "missing"}).find("cannot be opened for reading"), std::string::npos);
}

// A Windows 9x registry file whose keys link in a loop inside the key block:
// the last of the root's sub keys links on to the first. Each link is an
// offset into the key block (RGKN), which starts at 0x20: a key's entry holds
// its first sub key at +16 and its next sibling at +20.
std::string LoopedCreg(std::string bytes) {
  const auto at = [&](std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[0x20 + offset + i]);
    return v;
  };
  const std::uint32_t first = at(at(8) + 16);
  std::uint32_t last = first;
  while (at(last + 20) != 0xFFFFFFFF) last = at(last + 20);
  for (std::size_t i = 0; i < 4; ++i) bytes[0x20 + last + 20 + i] = static_cast<char>(first >> (8 * i));
  return bytes;
}

// Files that are damaged, each beside what the program should read in its
// stead: the report still comes, and a warning says what was passed over.
TEST(DamagedFiles, AreNamedAndPassedOverForWhatStandsIn) {
  const std::string looped = LoopedCreg(testing::WriteCreg(testing::Win98System()));
  {
    TempFolder folder;
    testing::WriteBytes(folder / "SYSTEM.DAT", looped);
    EXPECT_NE(OpenFails({folder / "SYSTEM.DAT"}).find("SYSTEM.DAT: not a readable Windows 95/98/Me registry file "
                                                       "(the keys link back to themselves)"),
              std::string::npos);
  }
  {
    TempFolder disk;
    Files(disk.path(), {{"WINDOWS/SYSTEM.DA0", "system"}, {"WINDOWS/USER.DAT", "user"}});
    testing::WriteBytes(disk / "WINDOWS/SYSTEM.DAT", looped);
    const OpenedSources opened = Open({disk.path()});
    EXPECT_NE(Report(*opened.registry).find(u"Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN"), std::u16string::npos);
    ASSERT_EQ(opened.backups.size(), 1u);
    EXPECT_NE(opened.backups[0].file.find("SYSTEM.DA0"), std::string::npos);
    EXPECT_NE(opened.backups[0].why.find("the keys link back to themselves"), std::string::npos) << opened.backups[0].why;
  }
  {
    // NT's SYSTEM hive is read for the code page alone.
    TempFolder disk;
    Files(disk.path(), {{"WINDOWS/system32/config/SOFTWARE", "software"},
                        {"Documents and Settings/joe/NTUSER.DAT", "ntuser:joe@example.org"}});
    testing::WriteBytes(disk / "WINDOWS/system32/config/SYSTEM",
                        testing::WriteRegf(testing::XpSystem("1253"), "SYSTEM").substr(0, 6000));
    const OpenedSources opened = Open({disk.path()});
    EXPECT_NE(Report(*opened.registry).find(u"Registration ID: 76487-OEM-0011903-00102"), std::u16string::npos);
    EXPECT_EQ(MailAddress(*opened.registry), u"Def. e-mail for this user: joe@example.org");
    EXPECT_EQ(opened.codePage, std::nullopt);
    ASSERT_EQ(opened.warnings.size(), 1u);
    EXPECT_NE(opened.warnings[0].find("SYSTEM: not a readable Windows NT registry hive"), std::string::npos);
    EXPECT_NE(opened.warnings[0].find("its code page is not known"), std::string::npos);
  }
}

// NT's SYSTEM hive names its code page in the control set that Select's
// "Current" names, by its number in three digits.
TEST(NtHives, TheCodePageIsTheCurrentControlSets) {
  for (const std::uint32_t current : {1u, 2u, 10u}) {
    FixtureKey system{"SYSTEM", {}, {}};
    Path(system, "Select").values = {testing::Dword("Current", current), testing::Dword("Default", 1)};
    Path(system, "ControlSet001\\Control\\Nls\\CodePage").values = {testing::Utf16("ACP", "1250")};
    Path(system, "ControlSet002\\Control\\Nls\\CodePage").values = {testing::Utf16("ACP", "1251")};
    Path(system, "ControlSet010\\Control\\Nls\\CodePage").values = {testing::Utf16("ACP", "1253")};
    TempFolder folder;
    testing::WriteRegfFile(folder / "SOFTWARE", testing::XpSoftware(), "SOFTWARE");
    testing::WriteRegfFile(folder / "SYSTEM", system, "SYSTEM");
    const OpenedSources opened = Open({folder / "SOFTWARE", folder / "SYSTEM"});
    EXPECT_EQ(opened.codePage, current == 1 ? 1250u : current == 2 ? 1251u : 1253u) << current;
  }
}

// What a Windows 7 to 11 rescue meets: a folder one or two levels inside the
// Windows folder, a hibernated Windows, a hive Windows did not finish writing.
TEST(Installation, IsReadFromItsSystemFoldersAndSaysWhatMayBeMissing) {
  TempFolder disk;
  Files(disk.path(), {{"Windows/System32/config/SOFTWARE", "software"},
                      {"Users/kim/NTUSER.DAT", "ntuser:kim@example.org"}});
  for (const char* start : {"Windows/System32/config", "Windows/System32", "Windows", ""}) {
    const OpenedSources opened = Open({disk / start});
    EXPECT_EQ(MailAddress(*opened.registry), u"Def. e-mail for this user: kim@example.org") << start;
    EXPECT_TRUE(opened.warnings.empty()) << start << ": " << opened.warnings[0];
  }
  testing::WriteBytes(disk / "hiberfil.sys", "HIBR" + std::string(60, '\0'));
  std::string software = testing::ReadBytes(disk / "Windows/System32/config/SOFTWARE");
  software[4] = static_cast<char>(software[4] + 1);  // the first sequence number, ahead of the second
  std::uint32_t sum = 0;  // the header's checksum: its first 127 double words XORed
  for (std::size_t at = 0; at < 508; at += 4) {
    std::uint32_t word = 0;
    for (std::size_t i = 4; i-- > 0;) word = word << 8 | static_cast<unsigned char>(software[at + i]);
    sum ^= word;
  }
  for (std::size_t i = 0; i < 4; ++i) software[508 + i] = static_cast<char>(sum >> (8 * i));
  testing::WriteBytes(disk / "Windows/System32/config/SOFTWARE", software);
  Files(disk.path(), {{"Windows/repair/software", "software"}});
  const OpenedSources opened = Open({disk / "Windows"});
  EXPECT_TRUE(opened.backups.empty()) << "a hive not written back is still the live one, read: no backup stands in";
  ASSERT_EQ(opened.warnings.size(), 2u);
  EXPECT_NE(opened.warnings[0].find("hiberfil.sys: Windows was hibernated or shut down with fast start-up"),
            std::string::npos) << opened.warnings[0];
  EXPECT_NE(opened.warnings[1].find("SOFTWARE: Windows did not finish writing this hive"), std::string::npos)
      << opened.warnings[1];
  EXPECT_NE(Report(*opened.registry).find(u"Registration ID: 76487-OEM-0011903-00102"), std::u16string::npos)
      << "and the report is still given";
  testing::WriteBytes(disk / "hiberfil.sys", std::string(64, '\0'));  // resumed: nothing is kept in it
  EXPECT_EQ(Open({disk / "Windows"}).warnings.size(), 1u);
}

// Every profile is listed with the address its report would show, whichever
// is read; one whose file is damaged says why.
TEST(Installation, ListsEveryProfileWithItsAddress) {
  TempFolder disk;
  Files(disk.path(), {{"Windows/System32/config/SOFTWARE", "software"},
                      {"Users/kim/NTUSER.DAT", "ntuser:kim@example.org"},
                      {"Users/lee/NTUSER.DAT", "ntuser:lee@example.org"}});
  std::filesystem::create_directories(disk / "Users/max");
  testing::WriteBytes(disk / "Users/max/NTUSER.DAT", "regf, but damaged");
  const OpenedSources opened = Open({disk.path()}, "lee");
  ASSERT_EQ(opened.profiles.size(), 3u);
  EXPECT_EQ(opened.profiles[0].name, "kim");
  EXPECT_EQ(opened.profiles[0].email, u"kim@example.org");
  EXPECT_EQ(opened.profiles[1].email, u"lee@example.org");
  EXPECT_EQ(opened.profiles[2].email, std::nullopt);
  EXPECT_NE(opened.profiles[2].problem.find("max/NTUSER.DAT: not a readable Windows NT registry hive"),
            std::string::npos) << opened.profiles[2].problem;
  EXPECT_EQ(MailAddress(*opened.registry), u"Def. e-mail for this user: lee@example.org");
}

}  // namespace
}  // namespace taloveric

// The Linux program as a script or a person runs it: each way a run can end
// and the exit status it gives, with what it wrote.

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/Unicode.h"
#include "support/Fixtures.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::Quote;
using testing::Shell;
using testing::TempFolder;

struct Ran {
  int status = -1;
  std::string out, err;
};

// Runs the program in `folder` with `arguments` (given to the shell as they
// stand) and `typed` as its standard input, which is no terminal.
Ran Program(const TempFolder& folder, const std::string& arguments, const std::string& typed = "") {
  testing::WriteBytes(folder / "typed", typed);
  const std::string command = "cd " + Quote(folder.path().string()) + " && " + Quote(TALOVERIC_PROGRAM) + " " +
                              arguments + " <typed >stdout 2>stderr";
  const int status = std::system(command.c_str());
  Ran run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = testing::ReadBytes(folder / "stdout");
  run.err = testing::ReadBytes(folder / "stderr");
  return run;
}

// The program run by a person at a terminal: a pseudo-terminal is its standard
// input and output and its /dev/tty, and each line of `typed` is typed once
// the program asks (its output ends in "> "); ^D ("\x04") at a line's start
// ends the input. What the terminal showed comes back in `out`, with the
// terminal's CR LF line ends.
Ran AtTerminal(const TempFolder& folder, const std::string& arguments, const std::string& typed) {
  std::vector<std::string> answers;
  for (std::size_t at = 0; at < typed.size();) {
    const std::size_t end = typed[at] == '\x04' ? at + 1 : std::min(typed.find('\n', at), typed.size() - 1) + 1;
    answers.push_back(typed.substr(at, end - at));
    at = end;
  }
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    const std::string command = "cd " + Quote(folder.path().string()) + " && exec " + Quote(TALOVERIC_PROGRAM) +
                                " " + arguments + " 2>stderr";
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Ran run;
  if (child < 0) return run;
  std::size_t next = 0;
  char buffer[4096];
  for (;;) {
    if (next < answers.size() && run.out.ends_with("> ")) {
      if (::write(terminal, answers[next].data(), answers[next].size()) < 0) break;
      ++next;
    }
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 30000) <= 0) break;  // a program that waits longer is judged stuck
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: the program closed the terminal's last end
    run.out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(terminal);
  ::kill(child, SIGKILL);  // a no-op once it ended
  int status = 0;
  ::waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.err = testing::ReadBytes(folder / "stderr");
  return run;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

TEST(Program, EachWayARunEndsHasItsExitStatus) {
  TempFolder folder;
  testing::WriteCregFile(folder / "win98/WINDOWS/SYSTEM.DAT", testing::Win98System());
  testing::WriteCregFile(folder / "win98/WINDOWS/USER.DAT", testing::Win98User());
  testing::WriteBytes(folder / "nokey.reg",
                      "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"
                      "\"RegisteredOwner\"=\"Ann\"\r\n");
  testing::WriteBytes(folder / "junk.bin", std::string(4096, '\x5A'));
  std::filesystem::create_directories(folder / "taken/Taloveric.log");  // a folder where the report goes
  std::filesystem::create_directories(folder / "save");
  testing::WriteBytes(folder / "big.msdm", "MSDM" + std::string(70 << 10, '\0'));
  testing::WriteRegfFile(folder / "SOFTWARE", testing::XpUser("no@windows.example"), "SOFTWARE");
  const struct {
    const char* what;
    std::string arguments, typed;
    int status;
    const char* says;  // in standard output or standard error
  } cases[] = {
      {"the sample printed", "--print", "", 0, "Registration Code: HQ7WK"},
      {"files printed", "--print win98/WINDOWS/SYSTEM.DAT win98/WINDOWS/USER.DAT", "", 0, "marta@quiroga.example"},
      {"read, but no product key", "--print nokey.reg", "", 3, "Registered Owner: Ann"},
      {"no product key, as JSON", "--format json nokey.reg", "", 3, "\"registrationCode\": null"},
      {"a source that is not there", "--print absent.reg", "", 2, "absent.reg: cannot be opened for reading"},
      {"a source with no registry", "--print junk.bin", "", 2, "junk.bin: no Windows registry"},
      {"an unknown option", "--bogus", "", 2, "unknown option '--bogus'"},
      {"no Windows ANSI code page", "--codepage 500 --print win98", "", 2, "code page 500 is not a Windows ANSI code page"},
      {"a firmware table too large", "--print big.msdm", "", 2, "is larger than 64 KiB, the most an ACPI table may be"},
      {"a SOFTWARE that holds no Windows key", "--print SOFTWARE", "", 3,
       "SOFTWARE: holds neither of the keys a report is read from"},
      {"options that exclude each other", "--print --save", "", 2, "exclude each other"},
      {"--save of the sample", "--save", "", 2, "add --sample to do so"},
      {"an interactive run with no source", "", "c\ns\n", 2, "or read every disk of this computer with --all-disks"},
      {"--all-disks with a source", "--all-disks win98", "", 2, "--all-disks reads this computer's own disks"},
      {"--sample with a source", "--sample --print win98", "", 2, "name no source with it"},
      {"an inventory of one installation", "--inventory csv --install 2 win98", "", 2, "--install picks one"},
      {"an inventory with a bad source", "--inventory jsonl win98 junk.bin", "", 2, "\"error\""},
      {"--output where it cannot be written", "--print --output absent/out.txt", "", 1, "absent/out.txt"},
      {"the read-first window closed", "--folder save win98", "", 0, "Read First"},
      {"the report window closed", "--folder save win98", "c\n", 0, "[Save and Exit]  [Exit] > "},
      {"Exit answered No", "--folder save win98", "c\ne\nn\n", 0, "Would you like to save this information?"},
      {"a save that fails, Cancel", "--folder taken win98", "c\ns\ncancel\n", 1, "Error accessing disk drive"},
      {"a save whose retry fails", "--folder taken win98", "c\ns\nok\n", 1, "The report was not saved."},
      {"--save that cannot write", "--save --folder taken win98", "", 1, "The report was not saved."},
  };
  for (const auto& c : cases) {
    const Ran run = Program(folder, c.arguments, c.typed);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.out << run.err;
    EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << c.what << "\n" << run.out << run.err;
    EXPECT_FALSE(Exists(folder / "save/Taloveric.log")) << c.what << ": nothing was asked to be saved";
  }
  // And the runs that save.
  for (const char* typed : {"c\ns\n\n", "c\ne\ny\nok\n"}) {
    std::filesystem::remove_all(folder / "save");
    std::filesystem::create_directories(folder / "save");
    const Ran run = Program(folder, "--folder save win98", typed);
    EXPECT_EQ(run.status, 0) << typed << run.out << run.err;
    EXPECT_NE(testing::ReadBytes(folder / "save/Taloveric-WinCode.txt").find("HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN"),
              std::string::npos);
  }
}

// The code page the installation names, else the one given: --codepage wins.
TEST(Program, TheCodePageGivenOverridesTheOneTheRegistryNames) {
  TempFolder folder;
  testing::WriteCregFile(folder / "ru/WINDOWS/SYSTEM.DAT", testing::Win98SystemIn("1251", "\xC8\xE2\xE0\xED"));
  const Ran named = Program(folder, "--format text ru");
  EXPECT_NE(named.out.find("Registered Owner: Иван"), std::string::npos) << named.out;
  EXPECT_NE(named.err.find("the installation's code page is 1251"), std::string::npos) << named.err;
  const Ran given = Program(folder, "--format text --codepage 1253 ru");
  EXPECT_NE(given.out.find("Registered Owner: Θβΰν"), std::string::npos) << given.out;
  const Ran printed = Program(folder, "--print --codepage 1253 ru");
  EXPECT_NE(printed.out.find("Registered Owner: \xC8\xE2\xE0\xED\r\n"), std::string::npos)
      << "--print keeps the registry's bytes";
  EXPECT_EQ(Program(folder, "--codepage 77777 --print").status, 2);
}

TEST(Program, NeverWritesOntoASource) {
  TempFolder folder;
  testing::WriteCregFile(folder / "win98/WINDOWS/SYSTEM.DAT", testing::Win98System());
  testing::WriteCregFile(folder / "win98/WINDOWS/USER.DAT", testing::Win98User());
  testing::WriteBytes(folder / "disk.img", std::string(1 << 16, '\0'));
  const std::string system = testing::ReadBytes(folder / "win98/WINDOWS/SYSTEM.DAT");
  const struct {
    const char* what;
    std::string arguments;
    const char* says;
  } cases[] = {
      {"JSON over a registry file",
       "--format json --output win98/WINDOWS/SYSTEM.DAT win98/WINDOWS/SYSTEM.DAT win98/WINDOWS/USER.DAT",
       "--output win98/WINDOWS/SYSTEM.DAT would write onto the source win98/WINDOWS/SYSTEM.DAT"},
      {"an inventory over its disk", "--inventory csv --output disk.img disk.img", "onto the source disk.img"},
      {"JSON into a folder source", "--format json --output win98/WINDOWS/r.json win98",
       "would write into the source folder win98"},
      {"a save into the Windows folder", "--save --folder win98/WINDOWS win98",
       "--folder win98/WINDOWS would put Taloveric.log into the source folder win98"},
      {"a save into the current folder, the source", "--save .", "name a folder elsewhere with --folder DIR"},
  };
  for (const auto& c : cases) {
    const Ran run = Program(folder, c.arguments);
    EXPECT_EQ(run.status, 2) << c.what << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.what << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.what << ": nothing is read";
  }
  EXPECT_EQ(testing::ReadBytes(folder / "win98/WINDOWS/SYSTEM.DAT"), system);
  EXPECT_EQ(testing::ReadBytes(folder / "disk.img"), std::string(1 << 16, '\0'));
  EXPECT_FALSE(Exists(folder / "win98/WINDOWS/Taloveric.log"));
  EXPECT_FALSE(Exists(folder / "win98/WINDOWS/r.json"));
  EXPECT_FALSE(Exists(folder / "Taloveric.log"));
}

// Standard output that cannot take the report: a full disk, or closed.
TEST(Program, SaysWhatItCouldNotWrite) {
  TempFolder folder;
  for (const char* redirect : {">/dev/full", ">&-"}) {
    const std::string command = "cd " + Quote(folder.path().string()) + " && " + Quote(TALOVERIC_PROGRAM) +
                                " --print " + redirect + " 2>stderr";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << redirect;
    EXPECT_NE(testing::ReadBytes(folder / "stderr").find("the report was not written: cannot write to standard output"),
              std::string::npos)
        << redirect << testing::ReadBytes(folder / "stderr");
  }
}

// At a terminal each question (whose profile, the console's buttons) asks again
// on a wrong answer, saying why, and takes the next; the end of input ends a
// question on a line of its own.
TEST(Program, AtATerminalAWrongAnswerIsAskedAgainAndTheNextTaken) {
  TempFolder folder;
  testing::WriteCregFile(folder / "win98/WINDOWS/SYSTEM.DAT", testing::Win98System());
  testing::WriteCregFile(folder / "win98/WINDOWS/Profiles/anna/USER.DAT", testing::Win98Profile("anna@example.org"));
  testing::WriteCregFile(folder / "win98/WINDOWS/Profiles/bob/USER.DAT", testing::Win98Profile("bob@example.org"));
  const struct {
    const char* what;
    std::string typed;
    std::vector<std::string> shows;
  } cases[] = {
      {"wrong answers, then right ones", "C\n2\nq\nc\ne\nn\n",
       {"\"C\" is none of them; please answer with a number from 1 to 2 or a name as listed.\r\nNumber or name > 2",
        "Please answer with a button's name or its first letter: Continue (c); an empty line for Continue.",
        "Def. e-mail for this user: bob@example.org"}},
      {"the end of input at the question", "\x04" "c\ne\nn\n",
       {"Number or name > \r\n", "Def. e-mail for this user:\r\nRegistered Owner"}},
  };
  for (const auto& c : cases) {
    const Ran run = AtTerminal(folder, "--folder . win98", c.typed);
    EXPECT_EQ(run.status, 0) << c.what << "\n" << run.out << run.err;
    for (const std::string& shown : c.shows) {
      EXPECT_NE(run.out.find(shown), std::string::npos) << c.what << ": " << shown << "\n" << run.out;
    }
    EXPECT_EQ(run.out.find("anna@example.org\r\n"), std::string::npos) << c.what << ": the first was not taken";
  }
}

// Folder names on a disk can hold anything; none reaches the terminal raw.
TEST(Program, ShowsTheControlCharactersOfNamesFromADisk) {
  TempFolder folder;
  testing::WriteRegfFile(folder / "xp/WINDOWS/system32/config/SOFTWARE", testing::XpSoftware(), "SOFTWARE");
  for (const std::string name : {"a\x1B]0;pwned\x07", "b\x1B[2J"}) {
    testing::WriteRegfFile(folder / "xp/Documents and Settings" / name / "NTUSER.DAT", testing::XpUser("x@y"), "n");
  }
  const Ran run = Program(folder, "--print xp");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("several user profiles (a^[]0;pwned^G, b^[[2J)"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\x1B'), std::string::npos) << run.err;
  const Ran asked = Program(folder, "--print --user 'c\x1B[31m' xp");
  EXPECT_EQ(asked.status, 2);
  EXPECT_EQ(asked.err.find('\x1B'), std::string::npos) << asked.err;
}

// What a user exports with regedit on a working NT machine: NT's key alone.
// It gives the whole report and the saved files, the key decoded into both.
TEST(Program, AnExportOfNtsKeyAloneGivesTheWholeReport) {
  TempFolder folder;
  std::string id;
  for (const char c : testing::DigitalProductId(testing::kXpProductKey)) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
    id += (id.empty() ? "" : ",") + std::string(hex);
  }
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                           "\"ProductName\"=\"Windows 10 Pro\"\r\n\"CurrentVersion\"=\"6.3\"\r\n"
                           "\"CurrentMajorVersionNumber\"=dword:0000000a\r\n\"CurrentMinorVersionNumber\"=dword:00000000\r\n"
                           "\"CurrentBuildNumber\"=\"22631\"\r\n\"RegisteredOwner\"=\"Kim\"\r\n"
                           "\"SystemRoot\"=\"C:\\\\WINDOWS\"\r\n\"DigitalProductId\"=hex:" + id + "\r\n";
  std::u16string wide = u"\uFEFF" + FromUtf8(text);
  testing::WriteBytes(folder / "nt.reg", ToUtf16Le(wide));
  std::filesystem::create_directories(folder / "save");
  const Ran run = Program(folder, "--save --folder save nt.reg");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string log = testing::ReadBytes(folder / "save/Taloveric.log");
  for (const std::string& line : std::vector<std::string>{"Registered Owner: Kim", "Product: Windows 10 Pro", "Version: Windows NT 10.0",
                                 "Version Number: 10.0.22631", "System Root Directory: C:\\WINDOWS",
                                 std::string("Registration Code: ") + testing::kXpProductKey,
                                 std::string("Remember to store >>>") + testing::kXpProductKey + "<<<"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  const Ran json = Program(folder, "--format json nt.reg");
  EXPECT_NE(json.out.find("\"windows\": \"Windows 11\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"keyKind\": \"installed\""), std::string::npos) << json.out;
}

// The program reads disk images through a module it loads when it first
// needs one: every kind of disk file, E01 among them (whose library must find
// its own helpers first), gives the installation's report.
TEST(Program, ReadsEveryKindOfDiskThroughItsImageModule) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy", "qemu-img", "ewfacquire"})) {
    GTEST_SKIP() << "needs mkfs.fat, mcopy, qemu-img and ewfacquire";
  }
  TempFolder folder;
  testing::WriteCregFile(folder / "root/WINDOWS/SYSTEM.DAT", testing::Win98System());
  ASSERT_TRUE(testing::FatImage(folder / "disk.raw", 40960, folder / "root"));
  ASSERT_TRUE(Shell("cd " + Quote(folder.path().string()) + " && for f in vmdk qcow2 vhdx vdi; do qemu-img convert -O $f "
                    "disk.raw disk.$f || exit 1; done && ewfacquire -q -u -t disk -c none -f encase6 disk.raw </dev/null"));
  for (const char* disk : {"disk.raw", "disk.vmdk", "disk.qcow2", "disk.vhdx", "disk.vdi", "disk.E01"}) {
    const Ran run = Program(folder, std::string("--print ") + disk);
    EXPECT_EQ(run.status, 0) << disk << "\n" << run.err;
    EXPECT_NE(run.out.find("Registration Code: HQ7WK-3MB9T-C2XRP-6YJDV-8G4FN"), std::string::npos) << disk;
  }
}

// A shelf named with a glob: each set's further parts (a split image's .002,
// a VMDK's extent, an E01's .E02) go with its first, a virtual machine's
// folder is read as its disk, and --user picks the profile on every one.
TEST(Program, AnInventoryHasARowForEachDiskNotForEachFile) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy", "qemu-img", "ewfacquire", "split"})) {
    GTEST_SKIP() << "needs mkfs.fat, mcopy, qemu-img, ewfacquire and split";
  }
  TempFolder folder;
  testing::WriteCregFile(folder / "root/WINDOWS/SYSTEM.DAT", testing::Win98System());
  testing::WriteCregFile(folder / "root/WINDOWS/Profiles/anna/USER.DAT", testing::Win98Profile("anna@example.org"));
  testing::WriteCregFile(folder / "root/WINDOWS/Profiles/bob/USER.DAT", testing::Win98Profile("bob@example.org"));
  ASSERT_TRUE(testing::FatImage(folder / "disk.raw", 40960, folder / "root"));
  ASSERT_TRUE(Shell("cd " + Quote(folder.path().string()) + " && mkdir shelf shelf/vm && "
                    "split -b 24M -d -a 3 --numeric-suffixes=1 disk.raw shelf/split. && "
                    "qemu-img convert -O vmdk -o subformat=twoGbMaxExtentSparse disk.raw shelf/extents.vmdk && "
                    "qemu-img convert -O vdi disk.raw shelf/vm/disk.vdi && echo '<VirtualBox/>' >shelf/vm/vm.vbox && "
                    "ewfacquire -q -u -t shelf/set -c none -f encase6 -S 24MiB disk.raw </dev/null"));
  ASSERT_TRUE(Exists(folder / "shelf/split.002") && Exists(folder / "shelf/extents-s001.vmdk") &&
              Exists(folder / "shelf/set.E02"))
      << "each set is made of more than one file";
  const Ran run = Program(folder, "--inventory csv --user bob shelf/*");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::vector<std::string> rows;
  for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
    rows.push_back(run.out.substr(at, end - at));
  }
  ASSERT_EQ(rows.size(), 5u) << "a header and a row for each of the four disks\n" << run.out << run.err;
  const char* firsts[] = {"shelf/extents.vmdk", "shelf/set.E01", "shelf/split.001", "shelf/vm"};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].find('"' + std::string(firsts[i - 1]) + '"'), 0u) << rows[i];
    EXPECT_NE(rows[i].find("bob@example.org"), std::string::npos) << rows[i];
  }
}

}  // namespace
}  // namespace taloveric

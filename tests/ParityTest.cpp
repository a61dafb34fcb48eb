// One installation, one answer: the same files read as a folder, from a FAT32
// disk image and from every kind of virtual disk give the same report, backups,
// dates and warnings, apart from how the files are named.

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/CodePage.h"
#include "platform/offline/DiskImage.h"
#include "report/Forms.h"
#include "rescue/Findings.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/HiveLogs.h"
#include "support/Shell.h"

namespace taloveric {
namespace {

using testing::Quote;
using testing::Shell;
using testing::TempFolder;

// A file of a layout: its path under the disk's root, what it holds, and its
// date (seconds since 1970, even, as FAT keeps them).
struct LaidOut {
  std::string path;
  std::string holds;
  std::time_t date = 1'000'000'000;  // 2001-09-09
};

struct Layout {
  const char* name;
  std::vector<LaidOut> files;
  std::optional<std::string> user;
  const char* expect;  // in the JSON on every route, so that agreeing says something; a line each
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

constexpr std::time_t kMay2003 = 1051784400;   // 2003-05-01 10:20:00 UTC
constexpr std::time_t kJune2003 = 1054635600;  // 2003-06-03 10:20:00 UTC

testing::FixtureKey Win98OwnedBy(const std::string& owner) { return testing::Win98SystemIn("1252", owner); }


void SetDate(const std::filesystem::path& file, std::time_t date) {
  const struct timespec times[2] = {{date, 0}, {date, 0}};
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

// Writes a file of a layout: "system:OWNER", "user:ADDRESS", "profile:ADDRESS",
// "software:OWNER", "ntuser:ADDRESS", "junk" (a damaged file), or
// "cab:OWNER:ADDRESS" (a registry cabinet of SYSTEM.DAT and USER.DAT).
void Write(const std::filesystem::path& file, const std::string& holds, const TempFolder& scratch) {
  const std::string kind = holds.substr(0, holds.find(':'));
  const std::string value = holds.find(':') == std::string::npos ? "" : holds.substr(holds.find(':') + 1);
  std::filesystem::create_directories(file.parent_path());
  if (kind == "system") testing::WriteCregFile(file, Win98OwnedBy(value));
  if (kind == "user") testing::WriteCregFile(file, testing::Win98User(value));
  if (kind == "profile") testing::WriteCregFile(file, testing::Win98Profile(value));
  if (kind == "software") testing::WriteRegfFile(file, testing::XpSoftwareOwnedBy(value), "SOFTWARE");
  if (kind == "dirty") {
    // "dirty:new|old:hive|log1|log2:OWNER>OWNER...": the hive registered to
    // the first owner, and logs holding each later one, a log entry each.
    const std::string format = value.substr(0, 3), part = value.substr(4, value.find(':', 4) - 4);
    std::vector<std::string> states;
    for (std::string owners = value.substr(value.find(':', 4) + 1);; owners.erase(0, owners.find('>') + 1)) {
      states.push_back(testing::WriteRegf(testing::XpSoftwareOwnedBy(owners.substr(0, owners.find('>'))), "SOFTWARE"));
      if (owners.find('>') == std::string::npos) break;
    }
    // The entries alternate between the logs, the first in LOG2.
    std::vector<int> placement;
    for (std::size_t i = 1; i < states.size(); ++i) placement.push_back(static_cast<int>(i % 2));
    const testing::DirtyHive dirty =
        format == "new" ? testing::NewFormatLogs(states, placement) : testing::OldFormatLog(states[0], states[1]);
    testing::WriteBytes(file, part == "hive" ? dirty.primary : part == "log2" ? dirty.logs[1] : dirty.logs[0]);
  }
  if (kind == "ntuser") testing::WriteRegfFile(file, testing::XpUser(value), "ntuser.dat");
  if (kind == "junk") testing::WriteBytes(file, "CREG and then nothing a registry holds");
  if (kind == "cab") {
    const std::filesystem::path in = scratch / file.filename().string();
    std::filesystem::create_directories(in);
    testing::WriteCregFile(in / "SYSTEM.DAT", Win98OwnedBy(value.substr(0, value.find(':'))));
    testing::WriteCregFile(in / "USER.DAT", testing::Win98User(value.substr(value.find(':') + 1)));
    ASSERT_TRUE(Shell("cd " + Quote(in.string()) + " && gcab -c " + Quote(file.string()) + " SYSTEM.DAT USER.DAT"));
  }
}

// The report's JSON, with the files named alike on every route: `disk`, how
// the route names the disk's root, becomes "<disk>".
std::string Answer(const std::filesystem::path& source, const std::optional<std::string>& user,
                   const std::string& disk) {
  const auto nobody = [](const std::string&, const std::vector<std::string>&) { return std::optional<std::string>(); };
  const auto open = [&](const auto& given) { return OpenSources({source}, user, nobody, std::nullopt, given); };
  Findings found = ReadInstallation(open, std::nullopt, "<source>", 1);
  const auto alike = [](Place& place) {
    if (!place.layers.empty()) place = {"<disk>" + place.path, {}, "", place.member};
  };
  for (Place& file : found.files) alike(file);
  for (BackupRead& backup : found.backups) alike(backup.place);
  for (ProfileFound& profile : found.profiles) alike(profile.place);
  for (FoundKey& key : found.keys) alike(key.place);
  found.installedOn.clear();  // where on the disk: a folder here has no volume
  std::string json = JsonOutput(found);
  // On an image, "disk.raw, partition ...:/WINDOWS/SYSTEM.DAT" and "disk.raw, partition ...: several ...".
  for (const std::string& named : {disk + ":/", disk + ":", disk}) {
    const std::string as = named == disk + ":/" ? "<disk>/" : named == disk + ":" ? "<disk>:" : "<disk>";
    for (std::size_t at = json.find(named); at != std::string::npos; at = json.find(named, at)) {
      json.replace(at, named.size(), as);
    }
  }
  return json;
}

// Every descriptor this process holds of `image`'s folder, once the image is
// open and its file systems read, is open for reading only.
void OpenedForReadingOnly(const std::string& image) {
  const DiskImageHandle disk = OpenDiskImage(image);
  for (const auto& tree : disk->FileSystems()) tree->List("");
  const std::string folder = std::filesystem::path(image).parent_path().string() + "/";
  std::size_t held = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
    if (ec || !target.starts_with(folder)) continue;
    ++held;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string field, flags;
    while (info >> field >> flags && field != "flags:") {
    }
    EXPECT_EQ(std::stoul(flags, nullptr, 8) & O_ACCMODE, static_cast<unsigned long>(O_RDONLY)) << target;
  }
  EXPECT_GT(held, 0u) << image << " is read through a descriptor";
}

const Layout kLayouts[] = {
    {"LiveFiles",
     {{"WINDOWS/SYSTEM.DAT", "system:Ana Live"}, {"WINDOWS/USER.DAT", "user:ana@example.org"}},
     {},
     R"("registeredOwner": "Ana Live")"},
    {"DamagedSystemDatWithItsBackup",
     {{"WINDOWS/SYSTEM.DAT", "junk"}, {"WINDOWS/SYSTEM.DA0", "system:Ben Backup", kMay2003},
      {"WINDOWS/USER.DAT", "user:ben@example.org"}},
     {},
     R"("date": "2003-05-01T10:20:00Z")"},
    // Which backup stands in first: SYSTEM.DA0 before the cabinet, USER.DA0
    // for a damaged USER.DAT (and the machine's values still given).
    {"DamagedFilesWithEveryBackup",
     {{"WINDOWS/SYSTEM.DAT", "junk"}, {"WINDOWS/SYSTEM.DA0", "system:Lea Da0", kMay2003},
      {"WINDOWS/USER.DAT", "junk"}, {"WINDOWS/USER.DA0", "user:lea@da0.example", kMay2003},
      {"WINDOWS/SYSBCKUP/RB001.CAB", "cab:Lea Cabinet:lea@cab.example", kJune2003}},
     {},
     "\"registeredOwner\": \"Lea Da0\"\n\"email\": \"lea@da0.example\""},
    {"DamagedUserDatWithItsBackup",
     {{"WINDOWS/SYSTEM.DAT", "system:Max Live"}, {"WINDOWS/USER.DAT", "junk"},
      {"WINDOWS/USER.DA0", "user:max@da0.example", kMay2003}},
     {},
     R"("email": "max@da0.example")"},
    // The cabinets' numbers go round: the newest is told by its date.
    {"OnlyCabinetsWhoseDatesDisagreeWithTheirNumbers",
     {{"WINDOWS/SYSBCKUP/RB000.CAB", "cab:Cy Newest:cy@example.org", kJune2003},
      {"WINDOWS/SYSBCKUP/RB004.CAB", "cab:Cy Older:old@example.org", kMay2003}},
     {},
     R"("registeredOwner": "Cy Newest")"},
    {"SeveralProfilesOneNamed",
     {{"WINDOWS/SYSTEM.DAT", "system:Di Shared"}, {"WINDOWS/USER.DAT", "user:default@example.org"},
      {"WINDOWS/Profiles/anna/USER.DAT", "profile:anna@example.org"},
      {"WINDOWS/Profiles/bob/USER.DAT", "profile:bob@example.org"}},
     "bob",
     R"("email": "bob@example.org")"},
    {"SeveralProfilesNonePicked",
     {{"WINDOWS/SYSTEM.DAT", "system:Di Shared"}, {"WINDOWS/Profiles/anna/USER.DAT", "profile:anna@example.org"},
      {"WINDOWS/Profiles/bob/USER.DAT", "profile:bob@example.org"}},
     {},
     "several user profiles (anna, bob) and none picked"},
    // The newest restore point lacks its snapshot: the one before it is read.
    {"DamagedSoftwareWithRestorePoints",
     {{"WINDOWS/system32/config/SOFTWARE", "junk"},
      {"System Volume Information/_restore{1A2B}/RP3/snapshot/_REGISTRY_MACHINE_SOFTWARE", "software:Eve Old", kMay2003},
      {"System Volume Information/_restore{1A2B}/RP7/snapshot/_REGISTRY_MACHINE_SOFTWARE", "software:Eve Newer",
       kJune2003},
      {"System Volume Information/_restore{1A2B}/RP9/change.log", "junk"},
      {"Documents and Settings/eve/NTUSER.DAT", "ntuser:eve@example.org"}},
     {},
     R"("date": "2003-06-03T10:20:00Z")"},
    // Named at its root, as an image or at WINDOWS, the live SOFTWARE is read,
    // though a restore point lies in a folder that sorts before it.
    {"LiveSoftwareBesideARestorePoint",
     {{"WINDOWS/system32/config/SOFTWARE", "software:Ira Live"},
      {"System Volume Information/_restore{1A2B}/RP3/snapshot/_REGISTRY_MACHINE_SOFTWARE", "software:Ira Old"},
      {"Documents and Settings/ira/NTUSER.DAT", "ntuser:ira@example.org"}},
     {},
     R"("registeredOwner": "Ira Live")"},
    // A hive Windows had not finished writing, its changes in both logs of
    // Windows 8.1's format, and the logs of an older Windows.
    {"DirtySoftwareWithItsLogs",
     {{"Windows/System32/config/SOFTWARE", "dirty:new:hive:Jo Written>Jo Middle>Jo Newest"},
      {"Windows/System32/config/SOFTWARE.LOG1", "dirty:new:log1:Jo Written>Jo Middle>Jo Newest"},
      {"Windows/System32/config/SOFTWARE.LOG2", "dirty:new:log2:Jo Written>Jo Middle>Jo Newest"},
      {"Users/jo/NTUSER.DAT", "ntuser:jo@example.org"}},
     {},
     R"("registeredOwner": "Jo Newest")"},
    {"DirtySoftwareWithAnOldLog",
     {{"WINDOWS/system32/config/software", "dirty:old:hive:Kai Written>Kai Newest"},
      {"WINDOWS/system32/config/software.LOG", "dirty:old:log:Kai Written>Kai Newest"}},
     {},
     R"("registeredOwner": "Kai Newest")"},
    // The newest restore point before the repair copy.
    {"DamagedSoftwareWithARestorePointAndARepairCopy",
     {{"WINDOWS/system32/config/SOFTWARE", "junk"}, {"WINDOWS/repair/software", "software:Ned Repair", kMay2003},
      {"System Volume Information/_restore{1A2B}/RP2/snapshot/_REGISTRY_MACHINE_SOFTWARE", "software:Ned Point",
       kJune2003}},
     {},
     R"("registeredOwner": "Ned Point")"},
    {"RepairSoftwareOnly",
     {{"WINDOWS/repair/software", "software:Flo Repair", kMay2003}},
     {},
     R"("registeredOwner": "Flo Repair")"},
    {"NamesInOddCase",
     {{"wInDoWs/sYsTeM.dAt", "system:Gus Case"}, {"wInDoWs/UsEr.DaT", "user:gus@example.org"},
      {"wInDoWs/SysBckUp/rB001.cAb", "cab:Gus Cab:cab@example.org"}},
     {},
     R"("registeredOwner": "Gus Case")"},
    // Two Windows folders on one file system: the first by name, on every route.
    {"TwoInstallationsOnOneFileSystem",
     {{"WIN98/SYSTEM.DAT", "system:Hal Ninety-Eight"}, {"WIN98/USER.DAT", "user:hal@example.org"},
      {"WINXP/system32/config/SOFTWARE", "software:Hal XP"}},
     {},
     R"("registeredOwner": "Hal Ninety-Eight")"},
};

// Every kind of disk file, made from the raw image: its name, and the
// command that makes $out from $raw.
constexpr std::pair<const char*, const char*> kContainers[] = {
    {"disk.vhd", "qemu-img convert -O vpc $raw $out"},
    {"disk.vhdx", "qemu-img convert -O vhdx $raw $out"},
    {"disk.vmdk", "qemu-img convert -O vmdk $raw $out"},
    {"disk.qcow2", "qemu-img convert -O qcow2 $raw $out"},
    {"disk.vdi", "qemu-img convert -O vdi $raw $out"},
    {"fixed.vdi", "qemu-img convert -O vdi -o static=on $raw $out"},
    {"disk.E01", "ewfacquire -q -u -t ${out%.E01} -c none -f encase6 $raw </dev/null"},
};

class ParityTest : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    if (!testing::HaveTools({"mkfs.fat", "mcopy", "gcab", "qemu-img"})) GTEST_SKIP() << "needs mkfs.fat, mcopy, gcab, qemu-img";
  }
};

TEST_P(ParityTest, EveryRouteGivesTheSameAnswer) {
  const Layout& layout = GetParam();
  TempFolder work, scratch;
  const std::filesystem::path root = work / "disk";
  for (const LaidOut& file : layout.files) {
    Write(root / file.path, file.holds, scratch);
    SetDate(root / file.path, file.date);
  }
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(testing::FatImage(raw, 40960, root));
  const std::string onImage = ", the disk's file system (FAT32, at byte 0)";
  const std::string folder = Answer(root, layout.user, root.string());
  for (std::string_view expect = layout.expect; !expect.empty();) {
    const std::string_view line = expect.substr(0, expect.find('\n'));
    EXPECT_NE(folder.find(line), std::string::npos) << line << " in " << folder;
    expect.remove_prefix(std::min(expect.size(), line.size() + 1));
  }
  EXPECT_EQ(Answer(raw, layout.user, raw + onImage), folder);
  OpenedForReadingOnly(raw);
  for (const auto& [name, make] : kContainers) {
    const std::string image = (work / name).string(), tool = std::string(make).substr(0, std::string(make).find(' '));
    if (!Shell("command -v " + tool)) {
      std::cout << tool << " is not installed: " << name << " is not compared\n";
      continue;
    }
    ASSERT_TRUE(Shell("raw=" + Quote(raw) + " out=" + Quote(image) + "; " + make)) << name;
    EXPECT_EQ(Answer(image, layout.user, image + onImage), folder) << name;
    OpenedForReadingOnly(image);
  }
  // NTFS, where Windows 7 to 11 are, written through ntfs-3g (root and FUSE).
  const std::string ntfs = (work / "ntfs.img").string();
  if (!testing::NtfsImage(ntfs, 40, root)) {
    std::cout << "ntfs-3g cannot write an NTFS disk here (it needs root and FUSE): NTFS is not compared\n";
    return;
  }
  EXPECT_EQ(Answer(ntfs, layout.user, ntfs + ", the disk's file system (NTFS, at byte 0)"), folder) << "NTFS";
}

INSTANTIATE_TEST_SUITE_P(Layouts, ParityTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& each) { return std::string(each.param.name); });

// A 90 MiB disk, "disk.raw" in `work`, with two partitions of 40 MiB at
// sectors 2048 and 83968: the first of MBR type `firstType`, the second FAT32.
std::string TwoPartitions(const TempFolder& work, const std::string& firstType) {
  const std::string raw = (work / "disk.raw").string();
  EXPECT_TRUE(Shell("truncate -s 90M " + Quote(raw) + " && printf 'start=2048, size=81920, type=" + firstType +
                    "\\nstart=83968, size=81920, type=c\\n' | sfdisk -q " + Quote(raw)));
  return raw;
}

// A disk of two FAT32 partitions, Windows 98 on the first and XP on the
// second, behind the gap before the first partition and the partition table,
// which are no partitions: both installations are offered by the partitions'
// numbers and places, and the one picked is read.
TEST(Disks, OfferEachInstallationByItsPartitionAndReadThePickedOne) {
  if (!testing::HaveTools({"sfdisk", "mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs sfdisk, mkfs.fat, mcopy";
  TempFolder work, scratch;
  const std::string raw = TwoPartitions(work, "c");
  const std::pair<long, std::vector<LaidOut>> partitions[] = {
      {2048, {{"WINDOWS/SYSTEM.DAT", "system:Ann Ninety-Eight"}, {"WINDOWS/USER.DAT", "user:ann@example.org"}}},
      {83968, {{"WINDOWS/system32/config/SOFTWARE", "software:Ann XP"},
               {"Documents and Settings/ann/NTUSER.DAT", "ntuser:ann@xp.example"}}}};
  for (const auto& [sector, files] : partitions) {
    const std::filesystem::path root = work / std::to_string(sector);
    for (const LaidOut& file : files) Write(root / file.path, file.holds, scratch);
    const std::string at = Quote(raw + "@@" + std::to_string(sector * 512));
    ASSERT_TRUE(Shell("mkfs.fat -F 32 -n SYSTEM --offset " + std::to_string(sector) + " " + Quote(raw) + " 40960"));
    for (const auto& top : std::filesystem::directory_iterator(root)) {
      ASSERT_TRUE(Shell("mcopy -s -m -i " + at + " " + Quote(top.path().string()) + " ::/"));
    }
  }
  std::vector<std::string> offered;
  const auto pickSecond = [&](const std::string&, const std::vector<std::string>& places) {
    offered = places;
    return places.size() > 1 ? std::optional<std::string>(places[1]) : std::nullopt;
  };
  OpenedSources opened = OpenSources({raw}, std::nullopt, pickSecond);
  // By their Windows, then the partition's number, size and label.
  EXPECT_EQ(offered, (std::vector<std::string>{
                         "Windows 98 Second Edition, version 4.10.2222 on partition 1 (FAT32, 40 MiB, \"SYSTEM\")",
                         "Windows XP, Service Pack 3, build 2600 on partition 2 (FAT32, 40 MiB, \"SYSTEM\")"}));
  EXPECT_EQ(opened.installations, 2u);
  const Findings found = Collect(opened, raw, 1);
  EXPECT_EQ(found.family, Family::WindowsNt);
  EXPECT_EQ(found.info.MailAddress, u"ann@xp.example");
  // JSON names the installation read, and the mail account without the report's backslash.
  const std::string json = JsonOutput(found);
  EXPECT_NE(json.find("\"installation\": 2,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"mailAccount\": \"00000001\","), std::string::npos) << json;
  EXPECT_NE(json.find("\"windows\": \"Windows XP, Service Pack 3, build 2600\","), std::string::npos) << json;
  EXPECT_NE(json.find("\"installedOn\": \"partition 2 (FAT32, 40 MiB, \\\"SYSTEM\\\")\","), std::string::npos) << json;
  ASSERT_FALSE(found.files.empty());
  EXPECT_EQ(DescribeLayers(found.files[0].layers), "partition 2 (FAT32, at byte 42991616)");

  // Nobody to ask: the first, with a warning naming both. Its file, put to
  // rest while the other was named, is read again from its bytes.
  const auto nobody = [](const std::string&, const std::vector<std::string>&) { return std::optional<std::string>(); };
  OpenedSources first = OpenSources({raw}, std::nullopt, nobody);
  const Findings firstFound = Collect(first, raw, 1);
  EXPECT_EQ(firstFound.family, Family::Windows9x);
  EXPECT_EQ(firstFound.info.RegisteredOwner, u"Ann Ninety-Eight");
  EXPECT_EQ(firstFound.info.MailAddress, u"ann@example.org");
  ASSERT_EQ(first.warnings.size(), 1u);
  EXPECT_NE(first.warnings[0].find("several Windows installations (1. Windows 98 Second Edition, version 4.10.2222 "
                                   "on partition 1 (FAT32, 40 MiB, \"SYSTEM\"); 2. Windows XP, Service Pack 3, build "
                                   "2600 on partition 2 (FAT32, 40 MiB, \"SYSTEM\")) and none picked"),
            std::string::npos)
      << first.warnings[0];
}

// A partition that BitLocker encrypts is named, with what to do; beside a
// partition that can be read it is said not to have been read.
TEST(Disks, NameABitLockerPartitionAndWhatToDo) {
  if (!testing::HaveTools({"sfdisk", "mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs sfdisk, mkfs.fat, mcopy";
  TempFolder work, scratch;
  const std::string raw = TwoPartitions(work, "7");
  std::string boot(512, '\0');
  boot.replace(0, 11, "\xEB\x58\x90-FVE-FS-");
  boot[510] = '\x55';
  boot[511] = '\xAA';
  ASSERT_TRUE(Shell("printf '%s' " + Quote(boot.substr(0, 11)) + " | dd of=" + Quote(raw) +
                    " bs=1 seek=1048576 conv=notrunc status=none"));
  const auto nobody = [](const std::string&, const std::vector<std::string>&) { return std::optional<std::string>(); };
  try {
    OpenSources({raw}, std::nullopt, nobody);
    ADD_FAILURE() << "opened";
  } catch (const SourceError& error) {
    const std::string said = error.what();
    EXPECT_NE(said.find("partition 1 (at byte 1048576) is encrypted with BitLocker"), std::string::npos) << said;
    EXPECT_NE(said.find("cryptsetup open --type bitlk"), std::string::npos) << said;
  }
  const std::filesystem::path root = work / "xp";
  Write(root / "WINDOWS/system32/config/SOFTWARE", "software:Ann XP", scratch);
  ASSERT_TRUE(Shell("mkfs.fat -F 32 --offset 83968 " + Quote(raw) + " 40960"));
  ASSERT_TRUE(Shell("mcopy -s -m -i " + Quote(raw + "@@" + std::to_string(83968 * 512)) + " " +
                    Quote((root / "WINDOWS").string()) + " ::/"));
  const OpenedSources opened = OpenSources({raw}, std::nullopt, nobody);
  bool said = false;
  for (const std::string& note : opened.notes) said = said || note.find("is encrypted with BitLocker and was not read") != std::string::npos;
  EXPECT_TRUE(said);
}

// An upgrade keeps the installation before it in Windows.old: an installation
// of its own, named as the previous one.
TEST(Disks, OfferThePreviousInstallationInWindowsOld) {
  if (!testing::HaveTools({"mkfs.fat", "mcopy"})) GTEST_SKIP() << "needs mkfs.fat, mcopy";
  TempFolder work, scratch;
  const std::filesystem::path root = work / "disk";
  Write(root / "Windows/System32/config/SOFTWARE", "software:Now", scratch);
  Write(root / "Windows.old/Windows/System32/config/SOFTWARE", "software:Before", scratch);
  Write(root / "Windows.old/Users/kim/NTUSER.DAT", "ntuser:kim@before.example", scratch);
  const std::string raw = (work / "disk.raw").string();
  ASSERT_TRUE(testing::FatImage(raw, 40960, root));
  std::vector<std::string> offered;
  const auto pickSecond = [&](const std::string&, const std::vector<std::string>& places) {
    offered = places;
    return places.size() > 1 ? std::optional<std::string>(places[1]) : std::nullopt;
  };
  OpenedSources opened = OpenSources({raw}, std::nullopt, pickSecond);
  EXPECT_EQ(offered, (std::vector<std::string>{
                         "Windows XP, Service Pack 3, build 2600 on the disk's file system (FAT32, 40 MiB)",
                         "Windows XP, Service Pack 3, build 2600, the previous installation in Windows.old on the "
                         "disk's file system (FAT32, 40 MiB)"}));
  const Findings found = Collect(opened, raw, 2);
  EXPECT_EQ(found.previousInstallation, "Windows.old");
  EXPECT_EQ(found.info.RegisteredOwner, u"Before");
  EXPECT_EQ(found.info.MailAddress, u"kim@before.example");
  // From the folder, the installation named is read, and the earlier one said to be there.
  OpenedSources folder = OpenSources({root}, std::nullopt, pickSecond);
  EXPECT_EQ(Collect(folder, "disk", 1).info.RegisteredOwner, u"Now");
  bool said = false;
  for (const std::string& note : folder.notes) said = said || note == "an earlier installation is kept in " + (root / "Windows.old").string() + "; name that folder to read it";
  EXPECT_TRUE(said);
}

}  // namespace
}  // namespace taloveric

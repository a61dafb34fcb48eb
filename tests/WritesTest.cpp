// What the Linux program writes, and what it never writes onto: a source, a
// device, a FIFO or a link replaced by a file; and the parts of a disk image
// that would hold it or be read as the disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <iostream>

#include "platform/ByteOrder.h"
#include "platform/offline/DiskImage.h"
#include "platform/posix/PosixFiles.h"
#include "rescue/Sources.h"
#include "support/Shell.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::string Kind(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "absent";
  return S_ISREG(info.st_mode) ? "file" : S_ISLNK(info.st_mode) ? "link" : S_ISFIFO(info.st_mode) ? "fifo"
         : S_ISCHR(info.st_mode) ? "character device" : S_ISBLK(info.st_mode) ? "block device" : "other";
}

TEST(Writes, OntoASourceAreFoundHoweverTheTargetIsSpelt) {
  TempFolder root;
  fs::create_directories(root / "disk/WINDOWS");
  fs::create_directories(root / "xp/WINDOWS/System32/config");
  fs::create_directories(root / "elsewhere");
  WriteBytes(root / "SYSTEM.DAT", "CREG");
  fs::create_hard_link(root / "SYSTEM.DAT", root / "elsewhere/hard.dat");
  fs::create_symlink(root / "SYSTEM.DAT", root / "elsewhere/soft.dat");
  fs::create_directory_symlink(root / "disk", root / "elsewhere/disk-link");
  const std::vector<fs::path> files = {root / "SYSTEM.DAT", root / "disk"};
  const std::string file = "onto the source " + (root / "SYSTEM.DAT").string();
  const std::string disk = "into the source folder " + (root / "disk").string();
  // Named at its Windows folder, or inside it, the installation is read from the disk's root above it too.
  const std::string xpRoot = "into " + (root / "xp").string() + ", which the installation named at ";
  const struct {
    std::vector<fs::path> sources;
    fs::path target;
    std::optional<std::string> said;  // how the refusal starts
  } cases[] = {
      {files, root / "SYSTEM.DAT", file},
      {files, root / "elsewhere/../SYSTEM.DAT", file},
      {files, root / "elsewhere/hard.dat", file},
      {files, root / "elsewhere/soft.dat", file},
      {files, root / "disk", disk},
      {files, root / "disk/WINDOWS/Taloveric.log", disk},
      {files, root / "disk/not/yet/made.json", disk},
      {files, root / "elsewhere/disk-link/WINDOWS/x.json", disk},
      {files, root / "elsewhere/report.json", std::nullopt},
      {files, root / "SYSTEM.DAT.json", std::nullopt},
      {files, root / "Taloveric.log", std::nullopt},
      {{root / "xp/WINDOWS"}, root / "xp/Taloveric.log", xpRoot + (root / "xp/WINDOWS").string()},
      {{root / "xp/WINDOWS/System32/config"}, root / "xp/WINDOWS/report.json",
       xpRoot + (root / "xp/WINDOWS/System32/config").string()},
      {{root / "xp"}, root / "Taloveric.log", std::nullopt},  // a disk's root: nothing above it is read
  };
  for (const auto& c : cases) {
    const auto said = SourceWrittenOnto(c.sources, c.target);
    EXPECT_EQ(said.has_value(), c.said.has_value()) << c.target << ": " << said.value_or("none");
    if (said && c.said) {
      EXPECT_TRUE(said->starts_with(*c.said)) << *said;
    }
  }
}

// A disk named as a source holds every file system on it: nothing is
// written onto it, or onto any of its partitions, mounted wherever they are.
TEST(Writes, OntoAFileSystemOfADiskSourceAreRefused) {
  TempFolder work;
  const std::string image = (work / "disk.img").string(), mount = (work / "mnt").string();
  if (::geteuid() != 0 ||
      !testing::Shell("truncate -s 16M " + testing::Quote(image) + " && mkntfs -q -F -Q " + testing::Quote(image) +
                      " && mkdir " + testing::Quote(mount))) {
    GTEST_SKIP() << "needs root, for a loop device, and mkntfs";
  }
  std::string loop;
  if (FILE* attached = ::popen(("losetup -r -f --show " + testing::Quote(image) + " 2>/dev/null").c_str(), "r")) {
    char line[64] = {};
    if (std::fgets(line, sizeof line, attached) != nullptr) loop = std::string(line, std::strcspn(line, "\n"));
    ::pclose(attached);
  }
  if (loop.empty()) GTEST_SKIP() << "no loop device can be attached here";
  // Mounted as ntfs-3g mounts it, where its own device is FUSE's.
  if (testing::Shell("ntfs-3g -o ro " + testing::Quote(loop) + " " + testing::Quote(mount))) {
    const auto said = SourceWrittenOnto({loop}, fs::path(mount) / "report.json");
    EXPECT_TRUE(said && said->starts_with("onto the disk " + loop)) << said.value_or("none");
    EXPECT_FALSE(SourceWrittenOnto({loop}, work / "report.json")) << "a file system elsewhere";
    testing::Shell("umount " + testing::Quote(mount));
  } else {
    std::cout << "the loop device cannot be mounted here: the disk's devices are not compared\n";
  }
  testing::Shell("losetup -d " + testing::Quote(loop));
}

TEST(Writes, WhatIsNoRegularFileIsWrittenIntoNeverReplaced) {
  TempFolder folder;
  // A FIFO, read as it is written.
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&] { return ReadBytes(folder / "fifo"); });
  WriteFileSafely(folder / "fifo", "report\n");
  EXPECT_EQ(read.get(), "report\n");
  EXPECT_EQ(Kind(folder / "fifo"), "fifo");
  // A descriptor of this process, as /dev/fd/N names it.
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  WriteFileSafely("/dev/fd/" + std::to_string(pipe[1]), "through the pipe");
  ::close(pipe[1]);
  char got[32] = {};
  EXPECT_EQ(::read(pipe[0], got, sizeof got), 16);
  ::close(pipe[0]);
  EXPECT_EQ(std::string(got), "through the pipe");
  // A link to a regular file: the file is replaced, the link kept.
  WriteBytes(folder / "real.json", "earlier");
  fs::create_symlink("real.json", folder / "link.json");
  WriteFileSafely(folder / "link.json", "new");
  EXPECT_EQ(Kind(folder / "link.json"), "link");
  EXPECT_EQ(ReadBytes(folder / "real.json"), "new");
  // A regular file is replaced whole.
  WriteFileSafely(folder / "real.json", "newer");
  EXPECT_EQ(ReadBytes(folder / "real.json"), "newer");
}

// Device nodes made in the test's own folder, never in /dev: as root only.
TEST(Writes, ADeviceIsWrittenIntoAndADiskNever) {
  if (::geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
  TempFolder folder;
  ASSERT_EQ(::mknod((folder / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
  WriteFileSafely(folder / "null", "into the void");
  EXPECT_EQ(Kind(folder / "null"), "character device");
  ASSERT_EQ(::mknod((folder / "disk").c_str(), S_IFBLK | 0600, ::makedev(7, 200)), 0);
  try {
    WriteFileSafely(folder / "disk", "onto a disk");
    ADD_FAILURE() << "a disk was written onto";
  } catch (const FileError& error) {
    EXPECT_NE(std::string(error.what()).find("it is a disk, which is never written onto"), std::string::npos);
  }
  EXPECT_EQ(Kind(folder / "disk"), "block device");
}

// A folder one may write into but not list (mode 733): its save cannot hold
// it, and goes on without. Root reads every folder, so the save runs as nobody.
TEST(Writes, AFolderThatCannotBeListedTakesASave) {
  TempFolder root;
  fs::create_directories(root / "dropbox");
  fs::permissions(root.path(), fs::perms::owner_all | fs::perms::others_exec);
  fs::permissions(root / "dropbox", static_cast<fs::perms>(0733));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    try {
      PosixFiles files(root / "dropbox");
      const auto hold = files.HoldForSave();
      files.CreateText(files.Locate(u"C:\\Taloveric.log"))->Close();
      ::_exit(0);
    } catch (...) {
      ::_exit(1);
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 3) << "cannot become nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Kind(root / "dropbox/Taloveric.log"), "file");
}

// The parts of a disk image that the libraries would open by name: each must
// be a regular file beside it, and a parent disk is never followed.
TEST(DiskImageParts, ThatAreNoFilesBesideItAreRefusedAtOnce) {
  TempFolder folder;
  const std::string descriptor =
      "# Disk DescriptorFile\nversion=1\nCID=42dda69b\nparentCID=ffffffff\ncreateType=\"twoGbMaxExtentSparse\"\n"
      "# Extent description\nRW 80000 SPARSE \"disk-s001.vmdk\"\n# The Disk Data Base\n#DDB\n";
  const auto fifo = [&](const std::string& name) { ASSERT_EQ(::mkfifo((folder / name).c_str(), 0600), 0); };
  const struct {
    const char* what;
    std::function<void()> lay;
    const char* image;
    const char* says;
  } cases[] = {
      {"a VMDK extent that is a FIFO", [&] { WriteBytes(folder / "a.vmdk", descriptor); fifo("disk-s001.vmdk"); },
       "a.vmdk", "its part \"disk-s001.vmdk\" is not a regular file beside it"},
      {"a VMDK extent that is a link to /dev/zero",
       [&] {
         WriteBytes(folder / "b.vmdk", std::string(descriptor).replace(descriptor.find("disk-s001"), 9, "zero-link"));
         fs::create_symlink("/dev/zero", folder / "zero-link.vmdk");
       },
       "b.vmdk", "its part \"zero-link.vmdk\" is not a regular file"},
      {"a VMDK extent linked to a file in another folder",
       [&] {
         fs::create_directories(folder / "elsewhere");
         WriteBytes(folder / "elsewhere/real-s001.vmdk", std::string(512, '\0'));
         WriteBytes(folder / "e.vmdk", std::string(descriptor).replace(descriptor.find("disk-s001"), 9, "far-s001"));
         fs::create_symlink(folder / "elsewhere/real-s001.vmdk", folder / "far-s001.vmdk");
       },
       "e.vmdk", "its part \"far-s001.vmdk\" is not a regular file beside it"},
      {"a VMDK extent elsewhere",
       [&] { WriteBytes(folder / "c.vmdk", std::string(descriptor).replace(descriptor.find("disk-s001"), 9, "/etc/passwd")); },
       "c.vmdk", "its part \"/etc/passwd.vmdk\" is not a regular file"},
      {"a VMDK whose parent is spelt with blanks",
       [&] {
         WriteBytes(folder / "d.vmdk", std::string(descriptor).replace(descriptor.find("parentCID=ffffffff"), 18,
                                                                      "parentCID = 0badcafe"));
       },
       "d.vmdk", "a VMDK disk that refers to a parent disk"},
      // Its lines as libvmdk reads them: a blank before the extent's is nothing to hide behind.
      {"a VMDK whose extent line starts with a blank, the extent a FIFO",
       [&] {
         WriteBytes(folder / "g.vmdk", std::string(descriptor).replace(descriptor.find("RW 80000"), 0, "  ")
                                           .replace(descriptor.find("disk-s001") + 2, 9, "fifo-s001"));
         fifo("fifo-s001.vmdk");
       },
       "g.vmdk", "its part \"fifo-s001.vmdk\" is not a regular file beside it"},
      // A sparse VMDK's own descriptor, wherever its header says it lies: here past the first 64 KiB.
      {"a sparse VMDK whose descriptor lies far in and names a parent",
       [&] {
         std::string sparse(400 * 512, '\0');
         sparse.replace(0, 4, "KDMV");
         PutLe32(sparse.data() + 4, 1);
         PutLe32(sparse.data() + 8, 3);
         PutLe64(sparse.data() + 12, 80000);  // sectors
         PutLe64(sparse.data() + 20, 128);    // a grain's
         PutLe64(sparse.data() + 28, 200);    // the descriptor's sector
         PutLe64(sparse.data() + 36, 2);
         PutLe32(sparse.data() + 44, 512);
         PutLe64(sparse.data() + 56, 300);
         PutLe64(sparse.data() + 64, 400);
         sparse.replace(73, 4, "\n \r\n");
         const std::string far = std::string(descriptor).replace(descriptor.find("parentCID=ffffffff"), 18,
                                                                 "parentCID=0badcafe").replace(
                                                                 descriptor.find("disk-s001"), 9, "far-ind");
         sparse.replace(200 * 512, far.size(), far);
         WriteBytes(folder / "far-ind.vmdk", sparse);
       },
       "far-ind.vmdk", "a VMDK disk that refers to a parent disk"},
      {"an E01 set whose next segment is a FIFO",
       [&] { WriteBytes(folder / "set.E01", "EVF\x09\x0D\x0A\xFF"); fifo("set.E02"); },
       "set.E01", "its part \"set.E02\" is not a regular file"},
      {"a split raw image whose second part is a FIFO",
       [&] { WriteBytes(folder / "split.001", std::string(4096, '\0')); fifo("split.002"); },
       "split.001", "its part \"split.002\" is not a regular file"},
  };
  for (const auto& c : cases) {
    c.lay();
    std::string said = "opened";
    try {
      const DiskImageHandle image = OpenDiskImage(folder / c.image);
    } catch (const std::exception& error) {
      said = error.what();
    }
    EXPECT_NE(said.find(c.says), std::string::npos) << c.what << ": " << said;
  }
}

}  // namespace
}  // namespace taloveric

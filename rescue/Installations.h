#pragma once
// An installation's files read into one registry: the machine's, SYSTEM,
// the chosen user's, each from the first of its files and their backups that
// can be read; every profile listed with its address; and where a disk holds
// several installations, which they are.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileTree.h"
#include "platform/offline/DiskImage.h"
#include "rescue/Backups.h"
#include "rescue/Layout.h"
#include "rescue/RegistryBuilder.h"
#include "rescue/Sources.h"

namespace taloveric {

// An installation on a tree of files, and how the user is told of it.
struct InstallationOn {
  FileTree* tree;
  Installation installation;
  std::string place;    // "partition 2 (NTFS, at byte 1048576)"; empty for a folder here
  std::string volume;   // "partition 2 (NTFS, 237.4 GiB, "Windows")"
  std::string windows;  // "Windows 11 Pro, version 23H2, build 22631"; empty when its registry does not say
  std::string previous; // for the installation an upgrade kept: its folder, "Windows.old"
  // Its Windows, where it is and whether an upgrade replaced it, as a person
  // picks it: "Windows 10 Pro, version 22H2, build 19045, the previous
  // installation in Windows.old on partition 3 (NTFS, 237.4 GiB, "Windows")".
  std::string Name() const;
  // Its files opened to name it (the machine's; Windows.old's for its keys), read from here on.
  OpenedFiles opened;
};

// Each file system of `disk` that holds a Windows registry, in the disk's
// order, and after each the installation an upgrade left in Windows.old.
// Throws SourceError when there is none, naming BitLocker where it is why,
// and what kept parts of the disk from being read; beside one that holds
// Windows, a partition BitLocker keeps from being read is a note, what kept
// parts from being read a warning.
std::vector<InstallationOn> InstallationsOn(const DiskImage& disk, const std::filesystem::path& source,
                                            std::vector<std::string>& notes, std::vector<std::string>& warnings);

// Reads the installation `found` on `tree` into `builder` and lists its
// profiles in `profiles`: the machine's files, and the user's of the only
// profile, the one named `user`, or the one `choose` picks among several;
// on Windows 9x without profiles the default user's. `named` is how the user
// named the installation.
// `opened` are the files of `tree` opened already. A `user` the installation
// has no profile of throws, unless `userMayLack`: then the e-mail line is
// left empty, with a warning.
void ReadInstallationFiles(RegistryBuilder& builder, std::vector<ProfileFound>& profiles, FileTree& tree,
                           const Installation& found, const std::string& named, const std::optional<std::string>& user,
                           const Chooser& choose, const OpenedFiles& opened = {}, bool userMayLack = false);

}  // namespace taloveric

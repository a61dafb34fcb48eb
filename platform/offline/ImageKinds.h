#pragma once
// What a disk image or virtual disk is, told without opening it as one: by
// its first bytes and name, and the files beside it that it names.

#include <filesystem>
#include <string>
#include <string_view>

namespace taloveric {

// Whether a file's first bytes or name say it is a disk image or virtual disk.
bool LooksLikeDiskImage(const std::filesystem::path& file, const std::string& head);

// Whether a volume's first bytes (its boot sector) are BitLocker's.
bool IsBitLockerVolume(std::string_view head);

// What a file that can be named but not read as it is, is, and what to do,
// by its first bytes: a zip or 7z archive, a BitLocker volume. Empty for any
// other file.
std::string NamedButNotRead(std::string_view head);

// Refuses, with a SourceError naming it, an image that holds only its changes
// to another (a backing file or parent disk, never followed), and one whose
// parts that the image libraries open by name (a VMDK's extents, an E01 set's
// other segments, a split raw image's other parts) are not all regular files
// beside it. Returns the image's first 64 KiB.
std::string CheckDiskImageFiles(const std::filesystem::path& image);

}  // namespace taloveric

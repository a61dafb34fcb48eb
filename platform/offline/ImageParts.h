#pragma once
// What a disk image or virtual disk needs beside it, checked before a library
// opens it: the files it names.

#include <filesystem>
#include <string>
#include <string_view>

namespace taloveric {

// Refuses, with a SourceError naming it, an image that holds only its changes
// to another (a backing file or parent disk, never followed), and one whose
// parts that the image libraries open by name (a VMDK's extents, an E01 set's
// other segments, a split raw image's other parts) are not all regular files
// beside it. Returns the image's first 64 KiB.
std::string CheckDiskImageFiles(const std::filesystem::path& image);

}  // namespace taloveric

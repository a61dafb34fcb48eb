#pragma once
// What a disk image or virtual disk needs beside it, checked before a library
// opens it: the files it names.

#include <filesystem>
#include <string>
#include <string_view>

namespace taloveric {

// Refuses, with a SourceError naming it, a QCOW2 image that holds only its
// changes to another (a backing file, never followed), and one whose parts
// read by name (an E01 set's other segments, a split raw image's other parts)
// are not all regular files beside it. `head` is the image's first bytes.
void CheckDiskImageFiles(const std::filesystem::path& image, std::string_view head);

}  // namespace taloveric

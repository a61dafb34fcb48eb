#pragma once
// What a disk image or virtual disk needs beside it, checked before a library
// opens it: the files it names.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace taloveric {

// Refuses, with a SourceError naming it, a QCOW2 image that holds only its
// changes to another (a backing file, never followed), and one whose parts
// read by name (an E01 set's other segments, a split raw image's other parts)
// are not all regular files beside it. `head` is the image's first bytes.
void CheckDiskImageFiles(const std::filesystem::path& image, std::string_view head);

// The other files of the set `image` begins, which are read with it and are
// no disks of their own: an E01 set's further segments (disk.E02 ...) and a
// split raw image's further parts (disk.002 ...) beside its first, the
// extents a VMDK's descriptor names. File names in its folder, as the set
// names them; none for an image of one file.
std::vector<std::string> OtherPartsOf(const std::filesystem::path& image, std::string_view head);

// Whether a file's name is that of a virtual disk (.vdi, .vhd, .vhdx, .vmdk,
// .qcow2, .qcow), as a virtual machine's folder holds it.
bool NamedAsVirtualDisk(const std::filesystem::path& file);

}  // namespace taloveric

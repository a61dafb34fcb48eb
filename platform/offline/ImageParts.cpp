#include "platform/offline/ImageParts.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"
#include "platform/posix/FileIdentity.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

// Why a virtual disk cannot be read alone: a QCOW2 that holds only its
// changes to another disk, its backing file, which is never followed (it may
// be anywhere, under any name the image gives); empty when it can. A VMDK's
// parent is asked of libvmdk, which reads the descriptor wherever it lies.
std::string BackingFileProblem(std::string_view head) {
  if (head.starts_with("QFI\xFB") && head.size() >= 16) {
    std::uint64_t offset = 0;  // of the backing file's name; big-endian
    for (std::size_t i = 8; i < 16; ++i) offset = offset << 8 | static_cast<unsigned char>(head[i]);
    if (offset != 0) return "a QCOW2 disk that refers to a backing file";
  }
  return "";
}

// The files besides `image` that are read by their names: the other segments
// of an E01 set (disk.E02 ...), the other parts of a split raw image
// (disk.002 ...). A VMDK's extents are checked as libvmdk names them.
std::vector<std::string> PartsNamed(const fs::path& image) {
  std::vector<std::string> parts;
  const std::string extension = image.extension().string(), stem = image.stem().string();
  const auto digits = [](std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const bool split = extension.size() > 1 && digits(extension.substr(1));
  const bool ewf = extension.size() == 4 && std::string_view("EeLlSs").find(extension[1]) != std::string::npos &&
                   digits(extension.substr(2));
  if (split || ewf) {
    std::error_code ec;
    for (fs::directory_iterator it(image.parent_path().empty() ? "." : image.parent_path(), ec), end;
         !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.size() != stem.size() + extension.size() || !name.starts_with(stem + ".") ||
          name == image.filename().string()) {
        continue;
      }
      const std::string other = name.substr(stem.size() + 1);
      const bool alike = split ? digits(other)
                               : std::tolower(static_cast<unsigned char>(other[0])) ==
                                         std::tolower(static_cast<unsigned char>(extension[1])) &&
                                     std::isalnum(static_cast<unsigned char>(other[1])) &&
                                     std::isalnum(static_cast<unsigned char>(other[2]));
      if (alike) parts.push_back(name);
    }
  }
  return parts;
}

// Refuses an image whose parts are not all regular files beside it: a FIFO
// would hold the run for ever, a device or a link elsewhere be read as the
// disk. A link is followed only to a regular file in the same folder.
void CheckParts(const fs::path& image) {
  for (const std::string& part : PartsNamed(image)) {
    const bool plainName = !part.empty() && part.find('/') == std::string::npos && part != "." && part != "..";
    if (!plainName || !RegularFileBeside(image.parent_path() / part)) {
      throw SourceError(image.string() + ": its part \"" + part +
                        "\" is not a regular file beside it; the parts of a disk image must be files in its folder");
    }
  }
}

}  // namespace

void CheckDiskImageFiles(const fs::path& image, std::string_view head) {
  if (const std::string problem = BackingFileProblem(head); !problem.empty()) {
    throw SourceError(image.string() + ": " + problem + ", which is not followed; convert the two into one "
                                       "disk first (qemu-img convert -O raw)");
  }
  CheckParts(image);
}

std::vector<std::string> OtherPartsOf(const fs::path& image, std::string_view head) {
  const std::string extension = AsciiLower(image.extension().string());
  // A set begins with its first part: the others are read with it.
  if (extension == ".001" || extension == ".e01") return PartsNamed(image);
  std::vector<std::string> extents;
  if (!head.starts_with("# Disk DescriptorFile")) return extents;
  // A VMDK descriptor's extent lines: RW 8323072 SPARSE "disk-s001.vmdk".
  for (std::size_t start = 0; start < head.size();) {
    const std::size_t end = std::min(head.find('\n', start), head.size());
    const std::string_view line = head.substr(start, end - start);
    start = end + 1;
    if (!line.starts_with("RW ") && !line.starts_with("RDONLY ") && !line.starts_with("NOACCESS ")) continue;
    const std::size_t open = line.find('"'), close = open == std::string_view::npos ? open : line.find('"', open + 1);
    if (close == std::string_view::npos) continue;
    const std::string name(line.substr(open + 1, close - open - 1));
    if (!name.empty() && name.find('/') == std::string::npos && name != image.filename().string()) extents.push_back(name);
  }
  return extents;
}

bool NamedAsVirtualDisk(const fs::path& file) {
  const std::string extension = AsciiLower(file.extension().string());
  for (const char* known : {".vdi", ".vhd", ".vhdx", ".vmdk", ".qcow2", ".qcow"}) {
    if (extension == known) return true;
  }
  return false;
}

}  // namespace taloveric

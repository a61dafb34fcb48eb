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

std::string ReadHeadOf(const fs::path& image, std::size_t count) {
  std::ifstream in(image, std::ios::binary);
  std::string head(count, '\0');
  in.read(head.data(), static_cast<std::streamsize>(count));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

// Why a virtual disk cannot be read alone: a QCOW2 or VMDK that holds only
// its changes to another disk, its backing file, which is never followed (it
// may be anywhere, under any name the image gives); empty when it can.
std::string BackingFileProblem(const std::string& head) {
  if (head.starts_with("QFI\xFB") && head.size() >= 16) {
    std::uint64_t offset = 0;  // of the backing file's name; big-endian
    for (std::size_t i = 8; i < 16; ++i) offset = offset << 8 | static_cast<unsigned char>(head[i]);
    if (offset != 0) return "a QCOW2 disk that refers to a backing file";
  }
  // A VMDK's descriptor, in the file itself or near the start of a sparse one:
  // "parentCID=ffffffff" says there is no parent, with or without blanks
  // around the "=", as the descriptor allows.
  for (std::size_t at = head.find("parentCID"); at != std::string::npos; at = head.find("parentCID", at + 1)) {
    std::size_t value = at + 9;
    while (value < head.size() && (head[value] == ' ' || head[value] == '\t')) ++value;
    if (value >= head.size() || head[value] != '=') continue;
    ++value;
    while (value < head.size() && (head[value] == ' ' || head[value] == '\t')) ++value;
    if (AsciiLower(head.substr(value, 8)) != "ffffffff" || (value + 8 < head.size() && std::isxdigit(
                                                                static_cast<unsigned char>(head[value + 8])))) {
      return "a VMDK disk that refers to a parent disk";
    }
  }
  if (head.find("parentFileNameHint") != std::string::npos) return "a VMDK disk that refers to a parent disk";
  return "";
}

// The files besides `image` that the image libraries open by name themselves:
// a VMDK's extents, as its descriptor names them; the other segments of an
// E01 set (disk.E02 ...); the other parts of a split raw image (disk.002 ...).
std::vector<std::string> PartsNamed(const fs::path& image, const std::string& head) {
  std::vector<std::string> parts;
  // A descriptor's extent lines: RW 2048 SPARSE "disk-s001.vmdk"
  if (head.find("# Disk DescriptorFile") != std::string::npos || head.starts_with("KDMV")) {
    for (std::size_t line = head.find("# Extent description"); line != std::string::npos && line < head.size();) {
      const std::size_t end = std::min(head.find('\n', line), head.size());
      const std::string text = head.substr(line, end - line);
      const std::size_t open = text.find('"'), close = text.rfind('"');
      if ((text.starts_with("RW") || text.starts_with("RDONLY") || text.starts_with("NOACCESS")) &&
          open != std::string::npos && close > open) {
        parts.push_back(text.substr(open + 1, close - open - 1));
      }
      if (text.starts_with("# The Disk Data Base") || text.starts_with("#DDB")) break;
      line = end + 1;
    }
  }
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
void CheckParts(const fs::path& image, const std::string& head) {
  for (const std::string& part : PartsNamed(image, head)) {
    const bool plainName = !part.empty() && part.find('/') == std::string::npos && part != "." && part != "..";
    if (!plainName || !RegularFileBeside(image.parent_path() / part)) {
      throw SourceError(image.string() + ": its part \"" + part +
                        "\" is not a regular file beside it; the parts of a disk image must be files in its folder");
    }
  }
}

}  // namespace

std::string CheckDiskImageFiles(const fs::path& image) {
  const std::string head = ReadHeadOf(image, 64 << 10);
  if (const std::string problem = BackingFileProblem(head); !problem.empty()) {
    throw SourceError(image.string() + ": " + problem + ", which is not followed; convert the two into one "
                                       "disk first (qemu-img convert -O raw)");
  }
  CheckParts(image, head);
  return head;
}

}  // namespace taloveric

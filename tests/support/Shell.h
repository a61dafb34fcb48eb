#pragma once
// The tests' way to the tools that make disk images and cabinets (mkfs.fat,
// mcopy, sfdisk, gcab, qemu-img): a command line and its words quoted.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace taloveric::testing {

// Runs `command` through the shell, its output dropped; true when it succeeded.
inline bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// `text` as one word of a shell command.
inline std::string Quote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Whether every tool named is installed.
inline bool HaveTools(std::initializer_list<const char*> tools) {
  for (const char* tool : tools) {
    if (!Shell(std::string("command -v ") + tool)) return false;
  }
  return true;
}

// A FAT32 image `raw` of `kib` KiB in 512-byte clusters (40960 at least, as
// FAT32 wants) holding what the folder `root` holds.
inline bool FatImage(const std::filesystem::path& raw, int kib, const std::filesystem::path& root) {
  std::string command = "mkfs.fat -F 32 -S 512 -s 1 -C " + Quote(raw.string()) + " " + std::to_string(kib) +
                        " && mcopy -s -m -i " + Quote(raw.string());
  for (const auto& top : std::filesystem::directory_iterator(root)) command += " " + Quote(top.path().string());
  return Shell(command + " ::/");
}

// An NTFS image `raw` of `mib` MiB holding what the folder `root` holds,
// written through ntfs-3g, which needs root and FUSE: false where it cannot.
inline bool NtfsImage(const std::filesystem::path& raw, int mib, const std::filesystem::path& root) {
  const std::string mount = raw.string() + ".mnt";
  if (!HaveTools({"mkntfs", "ntfs-3g"}) ||
      !Shell("truncate -s " + std::to_string(mib) + "M " + Quote(raw.string()) + " && mkntfs -q -F -Q " +
             Quote(raw.string()) + " && mkdir -p " + Quote(mount) + " && ntfs-3g " + Quote(raw.string()) + " " +
             Quote(mount))) {
    return false;
  }
  const bool copied = Shell("cp -a " + Quote(root.string()) + "/. " + Quote(mount));
  return Shell("umount " + Quote(mount)) && copied && Shell("rmdir " + Quote(mount));
}

}  // namespace taloveric::testing

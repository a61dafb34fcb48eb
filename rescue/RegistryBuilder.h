#pragma once
// The one registry an installation's sources make, built as they are read:
// .reg exports into a tree in memory, registry files mounted where Windows
// keeps their parts; and what the user is told of them.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HiveFile.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/posix/RegularFile.h"
#include "rescue/Sources.h"

namespace taloveric {

// Which part of the registry a file holds.
enum class Role { Machine, User, System };

class RegistryBuilder {
 public:
  // `given`: the code page the user says the installation used (--codepage).
  explicit RegistryBuilder(std::optional<CodePage> given) : given_(std::move(given)) {}

  void AddExport(const SourceFile& file);
  void AddExportText(std::string_view text, std::string_view name);

  // The code page the installation's text is in: the one given, else the
  // one its registry names once its machine's files are added, else 1252.
  // Chosen once, when first asked.
  const CodePage& Ansi();

  // A registry file read for `role` (told by its name, else by its keys,
  // where the user named it): mounted where Windows keeps its part, its
  // caveats warnings and its notes notes. `shown` is how the user knows it
  // and `where` where it is. Throws SourceError for a file of the other
  // family, or a second one of the same part.
  void Add(const std::shared_ptr<HiveFile>& hive, const std::string& shown, Place where, Kind kind,
           std::optional<Role> role);
  // A file for `role` that could not be read: a user's or SYSTEM file is a
  // warning, as the machine's values do not depend on it; the machine's
  // throws `error`.
  void Unreadable(const SourceError& error, const std::string& shown, Place where, Kind kind, Role role);
  // A registry file the user named, opened by `open`: added, or unreadable
  // for the part its name says.
  void AddNamed(const std::function<std::shared_ptr<HiveFile>()>& open, const std::string& shown, Place where,
                Kind kind);

  void Warn(std::string warning) { warnings_.push_back(std::move(warning)); }
  void Note(std::string note) { notes_.push_back(std::move(note)); }
  void Backup(BackupRead backup, std::string warning);
  // A key of the installation an upgrade replaced, read from its own files.
  void PreviousKey(FoundKey key) { previousKeys_.push_back(std::move(key)); }

  // The registry and what was read; `notes` come first.
  OpenedSources Finish(std::vector<std::string> notes);

 private:
  void SameFamily(Kind kind, const std::string& shown);
  MemoryRegistry& Memory();
  MountedRegistry& Mounted();

  std::optional<CodePage> given_, ansi_;
  std::optional<unsigned> named_;  // what the registry says
  std::vector<std::string> codePageNotes_, notes_;
  std::unique_ptr<MountedRegistry> registry_;
  MemoryRegistry* memory_ = nullptr;
  std::optional<Kind> family_;
  bool unicodeExport_ = false;
  std::vector<BackupRead> backups_;
  std::map<Role, std::string> seen_;  // the file that holds each part, or was to
  std::vector<std::string> warnings_;
  std::vector<std::string> files_;
  std::vector<Place> sourceFiles_;
  std::map<std::string, Place> parts_;
  std::vector<FoundKey> previousKeys_;
};

}  // namespace taloveric

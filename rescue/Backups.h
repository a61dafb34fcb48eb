#pragma once
// One part of an installation's registry read from the first of its files
// that can be read, in the order Windows' own copies stand in for one
// another: the live file; the same file in the volume's shadow copies, newest
// first; the backups Windows kept beside it (SYSTEM.DA0 and USER.DA0 on 95,
// 98 and Me; XP's newest restore point, then its repair copy); on 98 and Me
// the newest registry cabinet. Each file is read where it lies, once, and
// only when every file before it failed.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileTree.h"
#include "platform/HiveFile.h"
#include "platform/offline/FileKinds.h"
#include "rescue/RegistryBuilder.h"

namespace taloveric {

// A file that may hold one part of the registry.
struct Candidate {
  FileTree* tree = nullptr;
  std::string file;       // its path in the tree, or the cabinet's
  std::string inCabinet;  // the name in that cabinet; empty for a file of its own
};

// The candidates in the order they are tried, in stages: a stage is made
// only once every candidate before it failed (the shadow copies are looked
// for only when the live file cannot be read); what keeps a stage's backups
// from being read goes to `problems`.
using CandidateStages = std::vector<std::function<std::vector<Candidate>(std::vector<std::string>& problems)>>;

// Files of an installation's tree opened already (its profiles' user files,
// to list their addresses; its machine's, to name its Windows), each once,
// or why it cannot be, by their path in that tree.
using OpenedFiles = std::map<std::string, std::pair<std::shared_ptr<HiveFile>, std::string>>;

// Reads the first of the candidates that can be read and says which file the
// report comes from: the live file as found; any other as a backup, in a
// warning with its own date and what was wrong with those before it.
// `live` is whether the first candidate is the live file, which is taken from
// `opened` where it was opened already. When none can be
// read, the machine's part throws the first one's error and what kept each
// backup from standing in; a user's or SYSTEM part is a warning.
void ReadFirstOf(RegistryBuilder& builder, const CandidateStages& stages, bool live, Kind kind, Role role,
                 const OpenedFiles& opened = {});

// A registry file of a tree, read where it lies; an NT hive's logs beside it
// are read only when it needs them. `shown` names it where the user named it
// otherwise than the tree does.
// `bytes`, where given, are the file's as read already.
std::shared_ptr<HiveFile> ReadHive(FileTree& tree, const std::string& file, Kind kind, std::string shown = "",
                                   std::optional<MemoryFile> bytes = std::nullopt);

}  // namespace taloveric

#include "platform/FileTree.h"

#include <algorithm>

#include "platform/Unicode.h"

namespace taloveric {

FileTree::Folder& FileTree::Listed(const std::string& folder) {
  const auto known = folders_.find(folder);
  if (known != folders_.end()) return known->second;
  Folder read;
  read.entries = ReadFolder(folder, read.problem);
  // A name a file system lists twice (NTFS keeps some so) counts once.
  std::stable_sort(read.entries.begin(), read.entries.end(),
                   [](const Entry& a, const Entry& b) { return a.name < b.name; });
  read.entries.erase(std::unique(read.entries.begin(), read.entries.end(),
                                 [](const Entry& a, const Entry& b) { return a.name == b.name; }),
                     read.entries.end());
  return folders_.emplace(folder, std::move(read)).first->second;
}

const std::vector<FileTree::Entry>& FileTree::List(const std::string& folder, std::string* problem) {
  const Folder& listed = Listed(folder);
  if (problem != nullptr && problem->empty()) *problem = listed.problem;
  return listed.entries;
}

const FileTree::Entry* FileTree::Find(const std::string& folder, std::string_view lower, std::string* problem) {
  Folder& listed = Listed(folder);
  if (problem != nullptr && problem->empty()) *problem = listed.problem;
  if (listed.byLowerName.empty() && !listed.entries.empty()) {
    listed.byLowerName.reserve(listed.entries.size());
    // The first of names alike but for case, as List orders them.
    for (std::size_t i = 0; i < listed.entries.size(); ++i) listed.byLowerName.try_emplace(AsciiLower(listed.entries[i].name), i);
  }
  const auto found = listed.byLowerName.find(std::string(lower));
  return found == listed.byLowerName.end() ? nullptr : &listed.entries[found->second];
}

}  // namespace taloveric

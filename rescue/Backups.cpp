#include "rescue/Backups.h"

#include <ctime>

#include "platform/offline/Cabinet.h"
#include "platform/offline/CregFile.h"
#include "platform/offline/NtHiveFile.h"
#include "rescue/Layout.h"

namespace taloveric {
namespace {

// A moment as a backup's date is given, in `format` (UTC); empty when not known.
std::string Written(const std::optional<std::time_t>& when, const char* format) {
  if (!when) return "";
  std::tm utc{};
  char text[32] = {};
  if (::gmtime_r(&*when, &utc) == nullptr || std::strftime(text, sizeof text, format, &utc) == 0) return "";
  return text;
}

}  // namespace

std::shared_ptr<HiveFile> ReadHive(FileTree& tree, const std::string& file, Kind kind, std::string shown,
                                   std::optional<MemoryFile> bytes) {
  if (shown.empty()) shown = tree.Shown(file);
  if (!bytes) bytes = tree.ReadAll(file, kLargestRegistryFile);
  if (kind == Kind::Win9xRegistry) return OpenCregFile(std::move(*bytes), shown);
  return OpenNtHiveFile(std::move(*bytes), shown, [&tree, file] {
    std::vector<HiveLogFile> logs;
    for (const std::string& log : TransactionLogs(tree, file)) {
      try {
        logs.push_back({tree.Shown(log), tree.ReadAll(log, kLargestRegistryFile), ""});
      } catch (const SourceError& error) {
        logs.push_back({tree.Shown(log), MemoryFile(), error.what()});
      }
    }
    return logs;
  });
}

void ReadFirstOf(RegistryBuilder& builder, const CandidateStages& stages, bool live, Kind kind, Role role,
                 const OpenedFiles& opened) {
  std::string why = live ? "" : "no live file beside it";
  std::vector<std::string> failed;    // what was wrong with each candidate tried
  std::vector<std::string> problems;  // and with the backups that could not be tried
  std::optional<Place> firstPlace;
  bool first = true;
  for (const auto& stage : stages) {
    for (const Candidate& candidate : stage(problems)) {
      const bool isLive = first && live;
      first = false;
      const Place place = candidate.tree->PlaceOf(candidate.file).Member(candidate.inCabinet);
      const std::string name = Describe(place);
      std::shared_ptr<HiveFile> hive;
      try {
        if (!candidate.inCabinet.empty()) {
          // A cabinet that cannot be read, or lacks the file, is no backup.
          const auto extracted = ExtractFromCabinet(candidate.tree->ReadAll(candidate.file, kLargestRegistryFile).view(),
                                                    candidate.inCabinet, kLargestRegistryFile,
                                                    candidate.tree->Shown(candidate.file));
          if (!extracted) continue;
          hive = kind == Kind::Win9xRegistry ? OpenCregFile(MemoryFile(*extracted, name), name)
                                             : OpenNtHiveFile(MemoryFile(*extracted, name), name);
        } else if (const auto known = opened.find(candidate.file); isLive && known != opened.end()) {
          // A profile's file was opened already, to list its address.
          if (!known->second.first) throw SourceError(known->second.second);
          hive = known->second.first;
        } else {
          hive = ReadHive(*candidate.tree, candidate.file, kind);
        }
      } catch (const SourceError& error) {
        if (!firstPlace) firstPlace = place;
        failed.push_back(error.what());
        why = error.what();
        continue;
      }
      for (std::string& problem : problems) builder.Warn(std::move(problem));
      builder.Add(hive, name, place, kind, role);
      if (isLive) {
        builder.Note("found " + name);
      } else {
        const auto info = candidate.tree->Stat(candidate.file);
        const std::optional<std::time_t> date = info ? info->modified : std::nullopt;
        const std::string written = Written(date, "%Y-%m-%d %H:%M UTC");
        builder.Backup({place, name, Written(date, "%Y-%m-%dT%H:%M:%SZ"), why},
                       "read the backup " + name + ", written " + (written.empty() ? "on an unknown date" : written) +
                           " (" + why + ")");
      }
      return;
    }
  }
  // Nothing could be read: what was wrong with each is said.
  if (failed.empty()) {
    for (std::string& problem : problems) builder.Warn(std::move(problem));
    return;
  }
  std::string what = failed.front();
  for (std::size_t i = 1; i < failed.size(); ++i) what += (i == 1 ? "; nor can its backup " : "; nor ") + failed[i];
  if (role != Role::Machine) {
    for (std::string& problem : problems) builder.Warn(std::move(problem));
  } else {
    for (const std::string& problem : problems) what += "; " + problem;
  }
  builder.Unreadable(SourceError(what), Describe(*firstPlace), *firstPlace, kind, role);
}

}  // namespace taloveric

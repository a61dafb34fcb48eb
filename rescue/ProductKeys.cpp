#include "rescue/ProductKeys.h"

#include <algorithm>
#include <cstdio>

#include "collect/NtProductKey.h"
#include "collect/PublishedKeys.h"
#include "collect/ReadReg.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

// "2021-05-04 10:12:34" of "Source OS (Updated on 5/4/2021 10:12:34)"; empty otherwise.
std::string UpgradeMoment(std::string_view name) {
  constexpr std::string_view kPrefix = "Source OS (Updated on ";
  if (!name.starts_with(kPrefix) || !name.ends_with(")")) return "";
  const std::string text(name.substr(kPrefix.size(), name.size() - kPrefix.size() - 1));
  unsigned month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%u/%u/%u %u:%u:%u%c", &month, &day, &year, &hour, &minute, &second, &end) != 6 ||
      month < 1 || month > 12 || day < 1 || day > 31 || year < 1990 || year > 9999 || hour > 23 || minute > 59 ||
      second > 60) {
    return "";
  }
  char moment[24];
  std::snprintf(moment, sizeof moment, "%04u-%02u-%02u %02u:%02u:%02u", year, month, day, hour, minute, second);
  return moment;
}

// What a Windows key says it is, as people call it: "Windows 11 Pro, version 23H2, build 22631".
std::string WindowsNamed(Registry& registry, RegKey key) {
  NtVersion version = ReadNtVersion(registry, key);
  if (version.build.empty()) version.build = ReadValueText(registry, key, "CurrentBuild");
  return WindowsName(version, ReadValueText(registry, key, "ProductName"), ReadValueText(registry, key, "EditionID"));
}

// Windows' key in the open `key`, as NT keeps it, listed with what it belongs to.
void AddWindowsKey(KeysRead& out, Registry& registry, RegKey key, const std::string& belongsTo,
                   const std::string& hive, const std::string& path) {
  const NtProductKey found = ReadNtProductKey(registry, key);
  if (!found.problem.empty()) out.problems.push_back(path + ": " + found.problem);
  if (found.kind == KeyKind::None) return;
  out.keys.push_back({belongsTo, hive, path + "\\" + found.source, KeyKindName(found.kind), found.key, found.generic, {}});
}

// Office's releases that keep a key, by the version their registry keys carry.
constexpr std::pair<const char*, const char*> kOffices[] = {
    {"10.0", "Office XP"}, {"11.0", "Office 2003"}, {"12.0", "Office 2007"}, {"14.0", "Office 2010"}};

void AddOfficeKeys(KeysRead& out, MountedRegistry& registry) {
  for (const auto& [view, bits] : {std::pair{"Software", ""}, std::pair{"Software\\Wow6432Node", " (32-bit)"}}) {
    for (const auto& [version, release] : kOffices) {
      const std::string path = std::string(view) + "\\Microsoft\\Office\\" + version + "\\Registration";
      ScopedRegKey registration(registry);
      if (registration.Open(kHkeyLocalMachine, path) != kErrorSuccess) continue;
      for (const std::string& product : registry.SubKeyNames(registration.get()).value_or(std::vector<std::string>())) {
        ScopedRegKey key(registry);
        if (key.Open(kHkeyLocalMachine, path + "\\" + product) != kErrorSuccess) continue;
        const auto id = ReadValueBytes(registry, key.get(), "DigitalProductID");
        if (!id) continue;
        const std::string where = path.substr(path.find('\\') + 1) + "\\" + product + "\\DigitalProductID";
        std::string name = ReadValueText(registry, key.get(), "ProductName");
        if (name.empty()) name = "Microsoft " + std::string(release);
        name += std::string(" (") + version + ")" + bits;
        // Office 2010 keeps its key where Windows Vista keeps DigitalProductId4's.
        const std::size_t at = id->size() == 164 ? kDigitalProductIdKey : id->size() == 1272 ? kDigitalProductId4Key : 0;
        const auto decoded = at != 0 ? DecodeProductKey(*id, at) : std::nullopt;
        if (!decoded) {
          out.problems.push_back(where + ": " + name + "'s key value holds no product key (" +
                                 (at == 0 ? std::to_string(id->size()) + " bytes, of no size Office keeps a key in"
                                          : std::string("not a key's digits")) + ")");
          continue;
        }
        out.keys.push_back({name, "machine", where, "installed", *decoded, "", {}});
      }
    }
    // Office 2013 and later: installed, and no key kept in the registry.
    for (const char* later : {"15.0", "16.0"}) {
      const std::string path = std::string(view) + "\\Microsoft\\Office\\" + later + "\\Registration";
      ScopedRegKey key(registry);
      if (key.Open(kHkeyLocalMachine, path) != kErrorSuccess) continue;
      out.keys.push_back({std::string("Microsoft Office 2013 or later (") + later + ")" + bits, "machine",
                          path.substr(path.find('\\') + 1), "none kept", "",
                          "Office 2013 and later keep their keys with Microsoft, not in the registry", {}});
    }
  }
}

}  // namespace

std::string WindowsOf(Registry& registry, Family family) {
  if (family == Family::WindowsNt) {
    const auto nt = ReadNtInstallation(registry);
    return nt ? nt->Windows() : "";
  }
  ScopedRegKey key(registry);
  if (key.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion") != kErrorSuccess) return "";
  const std::string number = ReadValueText(registry, key.get(), "VersionNumber");
  std::string name = ReadValueText(registry, key.get(), "ProductName");
  if (name.starts_with("Microsoft ")) name.erase(0, 10);
  // By the version, which each release of 95, 98 and Me keeps as its own.
  static constexpr std::pair<const char*, const char*> kReleases[] = {
      {"4.10.2222", "Windows 98 Second Edition"}, {"4.00.", "Windows 95"}, {"4.10.", "Windows 98"},
      {"4.90.", "Windows Me"}};
  for (const auto& [prefix, release] : kReleases) {
    if (number.starts_with(prefix)) {
      name = release;
      break;
    }
  }
  if (name.empty()) return "";
  return number.empty() ? name : name + ", version " + number;
}

std::string UpgradeDate(std::string_view keyName) { return UpgradeMoment(keyName).substr(0, 10); }

KeysRead ReadProductKeys(MountedRegistry& registry) {
  KeysRead out;
  {
    // Windows 95, 98 and Me keep their key as text, under the report's own key.
    ScopedRegKey windows(registry);
    if (windows.Open(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion") == kErrorSuccess) {
      const std::string key = ReadValueText(registry, windows.get(), "ProductKey");
      if (!key.empty()) {
        std::string name = ReadValueText(registry, windows.get(), "ProductName");
        const std::string number = ReadValueText(registry, windows.get(), "VersionNumber");
        if (name.empty()) name = "Windows";
        out.keys.push_back({number.empty() ? name : name + " (" + number + ")", "machine",
                            "Software\\Microsoft\\Windows\\CurrentVersion\\ProductKey", "installed", key, "", {}});
      }
    }
  }
  {
    ScopedRegKey nt(registry);
    if (nt.Open(kHkeyLocalMachine, kNtKeyPath) == kErrorSuccess) {
      AddWindowsKey(out, registry, nt.get(), WindowsNamed(registry, nt.get()), "machine",
                    "Microsoft\\Windows NT\\CurrentVersion");
    }
  }
  {
    // The installed key as text, where Windows 8 and later keep a copy of it.
    ScopedRegKey platform(registry);
    if (platform.Open(kHkeyLocalMachine, std::string(kNtKeyPath) + "\\SoftwareProtectionPlatform") == kErrorSuccess) {
      const std::string key = ReadValueText(registry, platform.get(), "BackupProductKeyDefault");
      if (!key.empty()) {
        const PublishedKey* published = FindPublishedKey(key);
        out.keys.push_back({"the installed Windows (the copy of its key Windows keeps)", "machine",
                            "Microsoft\\Windows NT\\CurrentVersion\\SoftwareProtectionPlatform\\BackupProductKeyDefault",
                            published != nullptr ? "generic" : "installed", key,
                            published != nullptr ? std::string(published->edition) + "; " + published->source : "", {}});
      }
    }
  }
  {
    // The Windows each upgrade replaced, newest first.
    ScopedRegKey setup(registry);
    if (setup.Open(kHkeyLocalMachine, "System\\Setup") == kErrorSuccess) {
      std::vector<std::pair<std::string, std::string>> upgrades;  // moment, name
      for (const std::string& name : registry.SubKeyNames(setup.get()).value_or(std::vector<std::string>())) {
        if (!AsciiLower(name).starts_with("source os")) continue;
        upgrades.emplace_back(UpgradeMoment(name), name);
      }
      std::sort(upgrades.begin(), upgrades.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
      if (upgrades.size() > kMostUpgrades) {
        out.problems.push_back("Setup: holds " + std::to_string(upgrades.size()) +
                               " keys of earlier Windows, far more than upgrades a machine goes through; the newest " +
                               std::to_string(kMostUpgrades) + " are read");
        upgrades.resize(kMostUpgrades);
      }
      for (const auto& [moment, name] : upgrades) {
        ScopedRegKey key(registry);
        if (key.Open(kHkeyLocalMachine, "System\\Setup\\" + name) != kErrorSuccess) continue;
        const std::string date = moment.substr(0, 10);
        AddWindowsKey(out, registry, key.get(),
                      "the Windows this was upgraded from" + (date.empty() ? std::string() : ", on " + date) + ": " +
                          WindowsNamed(registry, key.get()),
                      "system", "Setup\\" + name);
      }
    }
  }
  AddOfficeKeys(out, registry);
  return out;
}

}  // namespace taloveric

#include "rescue/Findings.h"

#include <stdexcept>

#include "collect/NtProductKey.h"
#include "rescue/ProductKeys.h"
#include "collect/ReadReg.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {

namespace {

// The key of the Windows before this one: the previous installation's own
// (Windows.old), else the newest the upgrades kept; null when neither is an
// installed key.
const FoundKey* EarlierWindowsKey(const Findings& found, const OpenedSources& opened) {
  for (const FoundKey& key : opened.previousKeys) {
    if (key.kind == "installed" && key.path.find("DigitalProductId") != std::string::npos) {
      for (const FoundKey& listed : found.keys) {
        if (listed.path == key.path && listed.belongsTo == key.belongsTo) return &listed;
      }
    }
  }
  for (const FoundKey& key : found.keys) {
    if (key.kind == "installed" && key.file == "system") return &key;  // the upgrades', newest first
  }
  return nullptr;
}

}  // namespace

Findings Collect(OpenedSources& opened, std::string named, unsigned install,
                 const std::filesystem::path& thisComputersMsdm) {
  Findings found;
  found.named = std::move(named);
  found.install = opened.installation != 0 ? opened.installation : install;
  found.family = opened.family;
  found.codePage = opened.registry->Ansi();
  found.windows = WindowsOf(*opened.registry, found.family);
  found.installedOn = opened.installedOn;
  found.previousInstallation = opened.previousInstallation;
  ConsoleControls controls;
  ReadReg(*opened.registry, controls, found.info, found.family, &found.collected);
  found.nt = found.collected.nt;
  found.files = opened.sourceFiles;
  found.backups = opened.backups;
  found.profiles = opened.profiles;
  found.firmware = opened.firmware;
  found.firmwareFile = opened.firmwareFile;
  found.notes = opened.notes;
  found.warnings = opened.AllWarnings();
  const Collected& collected = found.collected;
  if (!collected.fromNtKey.empty()) {
    std::string names;
    for (const std::string& name : collected.fromNtKey) names += (names.empty() ? "" : ", ") + name;
    found.notes.push_back("read from Windows NT's own key, as the report's key lacks them: " + names);
  }
  if (!collected.keySource.empty()) found.notes.push_back("the product key was decoded from " + collected.keySource);
  found.warnings.insert(found.warnings.end(), collected.problems.begin(), collected.problems.end());

  // Every key the machine holds, each where it was read.
  KeysRead keys = ReadProductKeys(*opened.registry);
  for (FoundKey& key : keys.keys) {
    if (const auto part = opened.parts.find(key.file); part != opened.parts.end()) key.place = part->second;
    found.keys.push_back(std::move(key));
  }
  for (const std::string& problem : keys.problems) {
    const auto part = opened.parts.find("machine");
    found.warnings.push_back((part != opened.parts.end() ? Describe(part->second) + ", " : std::string()) + problem);
  }
  for (const FoundKey& key : opened.previousKeys) found.keys.push_back(key);
  if (found.firmware && !found.firmware->key.empty()) {
    found.keys.push_back({"the computer's firmware" + (found.firmware->oemId.empty() ? std::string() : " (" + found.firmware->oemId + ")"),
                          "firmware", "MSDM", "installed", found.firmware->key, "", {found.firmwareFile, {}, "", ""}});
  }

  // A key that is of no use for a reinstallation: the firmware's stands in
  // on the saved report's code line, or the user is told where one may be.
  const KeyKind kind = found.nt ? found.nt->productKey.kind : KeyKind::None;
  if (found.nt) {
    if (const std::string note = KeyKindNote(found.nt->productKey); !note.empty()) found.notes.push_back(note);
  }
  const bool keyOfNoUse = kind == KeyKind::Generic || kind == KeyKind::Removed ||
                          found.info.ProductKey.find_first_not_of(u' ') == std::u16string::npos;
  if (keyOfNoUse && found.firmware && !found.firmware->key.empty()) {
    found.info.ProductKey = found.codePage.FromAnsi(found.firmware->key);
    found.notes.push_back("the saved report's code line holds the firmware's OEM product key " + found.firmware->key +
                          (kind == KeyKind::Generic   ? ", as the installation's own key is a generic one"
                           : kind == KeyKind::Removed ? ", as the installation keeps no key"
                                                      : ", as the installation gives none"));
  } else if (const FoundKey* earlier = keyOfNoUse ? EarlierWindowsKey(found, opened) : nullptr) {
    found.info.ProductKey = found.codePage.FromAnsi(earlier->key);
    found.notes.push_back("the saved report's code line holds " + earlier->key + ", the key of " + earlier->belongsTo +
                          (kind == KeyKind::Generic   ? ", as the installation's own key is a generic one"
                           : kind == KeyKind::Removed ? ", as the installation keeps no key"
                                                      : ", as the installation gives none"));
  } else if (keyOfNoUse && found.family == Family::WindowsNt && !found.firmware) {
    std::error_code ec;
    if (std::filesystem::exists(thisComputersMsdm, ec)) {
      found.notes.push_back("this computer's firmware holds an OEM product key (" + thisComputersMsdm.string() +
                            "): if the installation is this computer's, add that file as a source, as root, "
                            "to have it reported");
    }
  }
  return found;
}

Findings ReadInstallation(const OpenOne& open, std::optional<unsigned> forced,
                          std::string named, unsigned install) {
  std::optional<CodePage> given;
  if (forced) given.emplace(*forced);
  OpenedSources opened = open(given);
  return Collect(opened, std::move(named), install);
}

}  // namespace taloveric

#include "rescue/Findings.h"

#include <stdexcept>

#include "collect/NtProductKey.h"
#include "collect/ReadReg.h"
#include "platform/CodePage.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {

void UseCodePage(std::optional<unsigned> forced, OpenedSources& opened) {
  if (forced) return;
  const unsigned codePage = opened.codePage.value_or(1252);
  if (codePage == AnsiCodePage()) return;
  try {
    SetAnsiCodePage(codePage);
    if (opened.codePage) opened.notes.push_back("the installation's code page is " + std::to_string(codePage));
  } catch (const std::invalid_argument& error) {
    opened.warnings.push_back(std::string(error.what()) + "; Windows-1252 stands for it");
    SetAnsiCodePage(1252);
  }
}

Findings Collect(OpenedSources& opened, std::string named, unsigned install) {
  Findings found;
  found.named = std::move(named);
  found.install = install;
  found.family = opened.family;
  found.codePage = AnsiCodePage();
  ConsoleControls controls;
  ReadReg(*opened.registry, controls, found.info, found.family, &found.collected);
  found.nt = found.collected.nt;
  found.files = opened.sourceFiles;
  found.backups = opened.backups;
  found.warnings = opened.AllWarnings();
  const Collected& collected = found.collected;
  if (!collected.fromNtKey.empty()) {
    std::string names;
    for (const std::string& name : collected.fromNtKey) names += (names.empty() ? "" : ", ") + name;
    found.warnings.push_back("read from Windows NT's own key, as the report's key lacks them: " + names);
  }
  if (!collected.keySource.empty()) found.warnings.push_back("the product key was decoded from " + collected.keySource);
  found.warnings.insert(found.warnings.end(), collected.problems.begin(), collected.problems.end());
  return found;
}

}  // namespace taloveric

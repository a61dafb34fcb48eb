// taloveric on Linux: the report of a Windows installation from its registry
// exports.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/posix/SampleRegistry.h"
#include "collect/ReadReg.h"
#include "platform/CodePage.h"
#include "platform/memory/RegFile.h"
#include "ui/console/ConsoleControls.h"

namespace {

constexpr std::string_view kUsage =
    "usage: taloveric --print [FILE.reg ...]\n"
    "\n"
    "Prints the report of the Windows installation whose registry the .reg exports\n"
    "hold (merged in order), or of the bundled sample when none is given.\n";

int Print(const std::vector<std::string>& files) {
  taloveric::MemoryRegistry registry;
  try {
    if (files.empty()) taloveric::LoadRegText(taloveric::SampleRegistry(), "the bundled sample", registry);
    for (const std::string& file : files) taloveric::LoadRegFile(file, registry);
  } catch (const taloveric::RegFileError& error) {
    std::cerr << "taloveric: " << error.what() << '\n';
    return 2;
  }
  taloveric::ConsoleControls controls;
  taloveric::InstallInfo info;
  taloveric::ReadReg(registry, controls, info);
  std::cout << taloveric::ToAnsi(controls.Text1()) << "\r\n" << std::flush;
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.empty() || args[0] != "--print") {
    std::cerr << kUsage;
    return 2;
  }
  args.erase(args.begin());
  return Print(args);
}

// taloveric on Linux: the report of a Windows installation that is not running,
// from its registry files, its folder or .reg exports, with the windows and
// message boxes on the console.

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Version.h"
#include "app/ReadFirst.h"
#include "app/posix/SampleRegistry.h"
#include "collect/NtProductKey.h"
#include "collect/ReadReg.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "platform/offline/Sources.h"
#include "ui/console/ConsoleDialogs.h"
#include "platform/posix/PosixFiles.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

constexpr std::string_view kUsage =
    "usage: taloveric [--print | --save] [--folder DIR] [--user NAME] [--sample] [SOURCE ...]\n"
    "       taloveric --help | --version\n"
    "\n"
    "Recovers a Windows installation's product key, product id and registration\n"
    "from its registry, shows the report and saves it as Taloveric.log with a copy,\n"
    "Taloveric-WinCode.txt.\n"
    "\n"
    "SOURCE is the folder of a Windows installation (a disk's root or its Windows\n"
    "folder), its registry files (Windows 95/98/Me SYSTEM.DAT and USER.DAT; Windows\n"
    "NT/2000/XP SOFTWARE and NTUSER.DAT), or .reg exports (64 MiB at most each)\n"
    "merged in order. With no SOURCE, a bundled sample registry of a Windows 98\n"
    "machine is used. Sources are only read, and only regular files are read.\n"
    "\n"
    "  --print        print the report and end\n"
    "  --save         save the report without asking, as \"Save and Exit\" does\n"
    "  --folder DIR   where the two files go (default: the current folder)\n"
    "  --user NAME    the user profile to read in a Windows folder; several and\n"
    "                 none named: asked on a terminal, else the e-mail line is empty\n"
    "  --sample       let --save save the bundled sample when no SOURCE is named\n"
    "\n"
    "Without --print or --save, the read-first window, the report and the message\n"
    "boxes are shown on the console and answered by typing a button's name or its\n"
    "first letter; the end of input closes the window or box. On a terminal,\n"
    "control characters in the registry's values are shown as ^X; --print into a\n"
    "file or pipe writes the Windows program's bytes (ANSI, CR LF).\n"
    "\n"
    "On an NT-family installation (2000, XP and later) the product key that NT\n"
    "keeps encoded is decoded and shown under the report (on standard error with\n"
    "--print); the report itself stays what the Windows program would write.\n"
    "\n"
    "Exit status: 0 done, 1 the report or its copy was not saved (the message says\n"
    "which), 2 bad usage or a source that cannot be read, 3 read, but no product\n"
    "key found.\n";

enum class Mode { Interactive, Print, Save };

// The exit status of a run that read the registry but found no product key.
constexpr int kNoKeyFound = 3;

struct Options {
  Mode mode = Mode::Interactive;
  std::filesystem::path folder = ".";
  std::optional<std::string> user;
  bool sample = false;  // --sample: the bundled sample may be saved
  std::vector<std::filesystem::path> sources;
};

int Usage(const std::string& problem) {
  std::cerr << "taloveric: " << problem << "\n\n" << kUsage;
  return 2;
}

// Parses the command line; returns an exit status when the run ends here.
std::optional<int> Parse(const std::vector<std::string>& args, Options& options) {
  bool onlySources = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (onlySources || arg.empty() || arg[0] != '-' || arg == "-") {
      options.sources.emplace_back(arg);
    } else if (arg == "--") {
      onlySources = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << TALOVERIC_VERSION_TEXT << '\n';
      return 0;
    } else if (arg == "--sample") {
      options.sample = true;
    } else if (arg == "--print" || arg == "--save") {
      const Mode mode = arg == "--print" ? Mode::Print : Mode::Save;
      if (options.mode != Mode::Interactive && options.mode != mode) return Usage("--print and --save exclude each other");
      options.mode = mode;
    } else if (arg == "--folder" || arg == "--user") {
      const auto given = value();
      if (!given || given->empty()) return Usage(arg + " needs a value");
      if (arg == "--folder") options.folder = *given;
      else options.user = *given;
    } else {
      return Usage("unknown option " + arg);
    }
  }
  return std::nullopt;
}

// Asks on the terminal which profile to read; nobody answers without one.
std::optional<std::string> AskProfile(const std::vector<std::string>& names) {
  if (!::isatty(STDIN_FILENO)) return std::nullopt;
  std::vector<std::u16string> choices;
  for (const std::string& name : names) choices.push_back(FromUtf8(name));
  std::cout << "Several people use this installation. Whose report?\n";
  for (std::size_t i = 0; i < names.size(); ++i) std::cout << "  " << i + 1 << ". " << names[i] << '\n';
  for (int wrong = 0; wrong < 5; ++wrong) {
    std::cout << "Number > " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (const auto pick = ChoiceNumber(line, names.size())) return names[*pick - 1];
    std::cout << "Please answer with a number from 1 to " << names.size() << ".\n";
  }
  return std::nullopt;  // no answer, as at the end of input
}

OpenedSources Open(const Options& options) {
  if (!options.sources.empty()) return OpenSources(options.sources, options.user, AskProfile);
  if (options.user) throw SourceError("--user picks a profile in a Windows folder; name the folder");
  OpenedSources opened = OpenRegText(SampleRegistry(), "the bundled sample");
  opened.notes.push_back("no source named: showing the bundled sample registry of a Windows 98 machine");
  return opened;
}

// The read-first window, then the report window; `shown` is what the report
// window held once it loaded, unset when the read-first window was closed.
int Interactive(Registry& registry, Files& files, const std::u16string& appendix, std::optional<InstallInfo>& shown) {
  std::u16string text;
  for (const char16_t* paragraph : kReadFirstParagraphs) {
    text += (text.empty() ? u"" : u"\n\n") + WrapWords(paragraph, 76);
  }
  PrintFrame(std::cout, kReadFirstCaption, text);
  if (AskChoice(std::cin, std::cout, {u"Continue"}, 0) < 0) return 0;  // the window was closed
  ConsoleDialogs dialogs(std::cin, std::cout);
  ConsolePad pad(registry, dialogs, files, std::cin, std::cout, appendix);
  const SaveOutcome outcome = pad.Run();
  shown = pad.Info();
  return outcome == SaveOutcome::NotSaved ? 1 : 0;
}

// Whether the run found a product key: the report's own, or NT's decoded one.
bool KeyFound(const InstallInfo& info, const std::optional<NtInstallation>& nt) {
  const bool reportKey = info.ProductKey.find_first_not_of(u' ') != std::u16string::npos;
  return reportKey || (nt && !nt->productKey.empty());
}

int Run(const Options& options) {
  if (options.mode == Mode::Save && options.sources.empty() && !options.sample) {
    return Usage("--save without a source would save the bundled sample's made-up key; add --sample to do so");
  }
  // Where the files go is checked before any window or box is shown.
  std::error_code folderError;
  if (options.mode != Mode::Print && !std::filesystem::is_directory(options.folder, folderError)) {
    std::cerr << "taloveric: --folder " << options.folder.string() << ": "
              << (folderError ? folderError.message() : std::string("is not a folder")) << '\n';
    return 2;
  }
  OpenedSources opened;
  try {
    opened = Open(options);
  } catch (const std::exception& error) {  // SourceError, RegFileError
    std::cerr << "taloveric: " << error.what() << '\n';
    return 2;
  }
  for (const std::string& note : opened.notes) std::cerr << "taloveric: " << note << '\n';

  // Messages name the files by their full paths.
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(options.folder, ec);
  PosixFiles files(ec ? options.folder : folder.lexically_normal());
  const std::optional<NtInstallation> nt = ReadNtInstallation(*opened.registry);
  const std::u16string appendix = nt ? NtSection(*nt) : u"";

  int status = 0;
  std::optional<InstallInfo> shown;
  if (options.mode == Mode::Print) {
    ConsoleControls controls;
    InstallInfo info;
    ReadReg(*opened.registry, controls, info);
    shown = info;
    // Into a file or a pipe, the Windows program's bytes; to a terminal,
    // nothing that could move the cursor or forge a line.
    if (::isatty(STDOUT_FILENO)) {
      std::cout << ToUtf8(ShownReport(controls.Text1())) << '\n' << std::flush;
    } else {
      std::cout << ToAnsi(controls.Text1()) << "\r\n" << std::flush;
    }
    if (!std::cout) status = 1;
    if (!appendix.empty()) std::cerr << ToUtf8(appendix);
  } else if (options.mode == Mode::Save) {
    UnattendedDialogs dialogs(std::cout);
    ConsolePad pad(*opened.registry, dialogs, files, std::cin, std::cout, appendix);
    status = pad.SaveAndExit() ? 0 : 1;
    shown = pad.Info();
  } else {
    status = Interactive(*opened.registry, files, appendix, shown);
  }
  if (status == 0 && shown && !KeyFound(*shown, nt)) status = kNoKeyFound;
  for (const std::string& problem : opened.AllWarnings()) std::cerr << "taloveric: warning: " << problem << '\n';
  return status;
}

}  // namespace
}  // namespace taloveric

int main(int argc, char** argv) {
  taloveric::Options options;
  if (const auto status = taloveric::Parse(std::vector<std::string>(argv + 1, argv + argc), options)) return *status;
  return taloveric::Run(options);
}

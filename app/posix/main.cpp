// taloveric on Linux: the report of a Windows installation that is not running,
// from its registry files, its folder or .reg exports, with the windows and
// message boxes on the console.

#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
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
#include "platform/posix/Heap.h"
#include "platform/offline/ImageParts.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/RegularFile.h"
#include "report/Forms.h"
#include "rescue/Findings.h"
#include "rescue/Sources.h"
#include "ui/console/ConsoleDialogs.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

constexpr std::string_view kUsage =
    "usage: taloveric [--print | --save | --format text|json] [--output FILE]\n"
    "                 [--folder DIR] [--user NAME] [--install N] [--codepage N]\n"
    "                 [--sample] [--all-disks | [--] SOURCE ...]\n"
    "       taloveric --inventory jsonl|csv [--output FILE] [--user NAME]\n"
    "                 [--codepage N] (--all-disks | [--] SOURCE ...)\n"
    "       taloveric --help | --version\n"
    "\n"
    "Recovers a Windows installation's product key, product id and registration\n"
    "from its registry, shows the report and saves it as Taloveric.log with a copy,\n"
    "Taloveric-WinCode.txt. Every product key found (the installation's, the one\n"
    "before an upgrade or in Windows.old, Office's, the firmware's) is listed under\n"
    "the report with what it belongs to and its kind: installed, generic, removed.\n"
    "\n"
    "SOURCE is a disk or partition (/dev/nvme0n1, /dev/sda, /dev/sdb1), a disk\n"
    "image or virtual disk (raw, MBR or GPT, VHD, VHDX, VMDK, QCOW2, VDI, E01) or a\n"
    "virtual machine's folder, the folder of a Windows installation (a disk's root\n"
    "or its Windows folder), its registry files (Windows 95/98/Me SYSTEM.DAT and\n"
    "USER.DAT; NT to 11 SOFTWARE, SYSTEM and NTUSER.DAT), .reg exports (64 MiB at\n"
    "most each) merged in order, or an ACPI MSDM table\n"
    "(/sys/firmware/acpi/tables/MSDM: the OEM key of a computer sold with Windows 8\n"
    "or later), alone or beside any other source. Several disks are read together.\n"
    "Sources are only read, and nothing is written onto any of them.\n"
    "\n"
    "  -p, --print          print the report as the Windows program shows it and end\n"
    "  -s, --save           save the report without asking, as \"Save and Exit\" does\n"
    "  -f, --format FORMAT  print the report as text (UTF-8) or json and end\n"
    "      --inventory FORM read each SOURCE on its own (a disk: each of its\n"
    "                       installations) and write a line for each as it is read:\n"
    "                       jsonl, a JSON object a line; csv, with a header row. A\n"
    "                       source that cannot be read gets a line with its error\n"
    "  -o, --output FILE    write --print, --format or --inventory into FILE\n"
    "  -d, --folder DIR     where the two files go (default: the current folder);\n"
    "                       keep them off the disk read\n"
    "  -u, --user NAME      the user profile whose e-mail address to report; several\n"
    "                       and none named: asked on the terminal, else the e-mail\n"
    "                       line is left empty, with a warning\n"
    "      --install N      the Nth Windows installation found; several and none\n"
    "                       named: asked on the terminal, else the first, with a\n"
    "                       warning\n"
    "      --codepage N     the installation's Windows ANSI code page (1252, 1251,\n"
    "                       932 ...); by default the one its registry names, else 1252\n"
    "  -a, --all-disks      read every disk of this computer (from /sys/block; loop\n"
    "                       devices and optical media left out) and its firmware's\n"
    "                       MSDM table; run it as root\n"
    "      --sample         show or save the bundled sample registry of a Windows 98\n"
    "                       machine (no SOURCE named)\n"
    "  -h, --help           this text\n"
    "  -V, --version        the version\n"
    "\n"
    "Without --print, --format or --save, the read-first window, the report and the\n"
    "message boxes are shown on the console and answered by typing a button's name\n"
    "or its first letter; a wrong answer is asked again, and the end of input\n"
    "closes the window or box. Questions are asked on the terminal, never on\n"
    "standard output: with no terminal nothing waits. On a terminal, control\n"
    "characters in the registry's values are shown as ^X; --print into a file or\n"
    "pipe writes the Windows program's bytes (ANSI, CR LF).\n"
    "\n"
    "Examples:\n"
    "  sudo taloveric --all-disks --folder /media/usb      this computer's Windows\n"
    "  sudo taloveric --folder ~ /dev/nvme0n1              one disk, saved off it\n"
    "  sudo taloveric /dev/nvme0n1p3 /sys/firmware/acpi/tables/MSDM\n"
    "  taloveric --format json disk.img                    a disk image, for scripts\n"
    "  taloveric --inventory csv --output shelf.csv disks/*\n"
    "\n"
    "Exit status: 0 done, 1 the report or its copy was not saved (the message says\n"
    "which), 2 bad usage or a source that cannot be read (with --inventory: any\n"
    "one), 3 read, but no product key found.\n";

enum class Mode { Interactive, Print, Save, Format, Inventory };
enum class Format { Text, Json, JsonLines, Csv };

// The exit status of a run that read the registry but found no product key.
constexpr int kNoKeyFound = 3;

struct Options {
  Mode mode = Mode::Interactive;
  Format format = Format::Text;
  std::optional<std::filesystem::path> output;
  std::filesystem::path folder = ".";
  bool folderGiven = false;  // --folder, rather than the current folder
  std::optional<std::string> user;
  bool sample = false;  // --sample: the bundled sample may be saved
  std::optional<unsigned> codePage;  // --codepage: the installation's ANSI code page
  std::optional<unsigned> install;   // --install: which installation on a disk image
  bool allDisks = false;             // --all-disks: this computer's own disks are the sources
  std::vector<std::filesystem::path> sources;
};

// A line on standard error. What it names may come from a disk, whose names
// can hold anything: control characters are shown, never sent.
void Say(const std::string& text) { std::cerr << "taloveric: " << VisibleBytes(text) << '\n'; }

// A usage error: one line and a hint, as Linux tools give it.
int Usage(const std::string& problem) {
  Say(problem);
  std::cerr << "Try 'taloveric --help' for more information.\n";
  return 2;
}

// Parses the command line; returns an exit status when the run ends here.
std::optional<int> Parse(int argc, char** argv, Options& options) {
  enum { kSample = 256, kCodePage, kInstall, kInventory };
  static const option kOptions[] = {
      {"print", no_argument, nullptr, 'p'},        {"save", no_argument, nullptr, 's'},
      {"format", required_argument, nullptr, 'f'}, {"output", required_argument, nullptr, 'o'},
      {"folder", required_argument, nullptr, 'd'}, {"user", required_argument, nullptr, 'u'},
      {"sample", no_argument, nullptr, kSample},   {"codepage", required_argument, nullptr, kCodePage},
      {"install", required_argument, nullptr, kInstall},
      {"inventory", required_argument, nullptr, kInventory},
      {"all-disks", no_argument, nullptr, 'a'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},      {nullptr, 0, nullptr, 0}};
  opterr = 0;  // the messages below say it in one line
  const auto setMode = [&](Mode mode) {
    const bool clash = options.mode != Mode::Interactive && options.mode != mode;
    options.mode = mode;
    return !clash;
  };
  int option = 0;
  for (int before = optind; (option = ::getopt_long(argc, argv, ":psf:o:d:u:ahV", kOptions, nullptr)) != -1;
       before = optind) {
    const std::string value = optarg != nullptr ? optarg : "";
    // The argument just read; within a cluster of short options it is still the current one.
    const std::string argument = argv[optind > before ? optind - 1 : before];
    switch (option) {
      case 'p':
      case 's':
      case 'f':
        if (!setMode(option == 'p' ? Mode::Print : option == 's' ? Mode::Save : Mode::Format)) {
          return Usage("--print, --save and --format exclude each other");
        }
        if (option == 'f' && value != "text" && value != "json") {
          return Usage("--format takes text or json, not '" + value + "'");
        }
        options.format = value == "json" ? Format::Json : Format::Text;
        break;
      case kInventory:
        if (!setMode(Mode::Inventory)) return Usage("--inventory goes with none of --print, --save and --format");
        if (value != "jsonl" && value != "csv") return Usage("--inventory takes jsonl or csv, not '" + value + "'");
        options.format = value == "csv" ? Format::Csv : Format::JsonLines;
        break;
      case 'o': options.output = value; break;
      case 'd':
        options.folder = value;
        options.folderGiven = true;
        break;
      case 'u': options.user = value; break;
      case kSample: options.sample = true; break;
      case 'a': options.allDisks = true; break;
      case kCodePage:
      case kInstall:
        if (const auto number = WholeNumber(value, 5)) {
          (option == kInstall ? options.install : options.codePage) = static_cast<unsigned>(*number);
          break;
        }
        return Usage(option == kInstall ? "--install takes the number of an installation, such as 2"
                                        : "--codepage takes a Windows code page number, such as 1251");
      case 'h': std::cout << kUsage; return 0;
      case 'V': std::cout << TALOVERIC_VERSION_TEXT << '\n'; return 0;
      case ':': return Usage(argument + " needs a value");
      default:
        return Usage("unknown option '" + argument + "' (a source whose name starts with - goes after --)");
    }
  }
  for (int i = optind; i < argc; ++i) options.sources.emplace_back(argv[i]);
  if ((options.user && options.user->empty()) || options.folder.empty()) return Usage("an option's value is empty");
  if (options.output && options.mode != Mode::Print && options.mode != Mode::Format &&
      options.mode != Mode::Inventory) {
    return Usage("--output goes with --print, --format or --inventory");
  }
  if (options.allDisks && !options.sources.empty()) {
    return Usage("--all-disks reads this computer's own disks; name no source with it");
  }
  if (options.allDisks && options.sample) return Usage("--all-disks and --sample exclude each other");
  if (options.sample && !options.sources.empty()) return Usage("--sample reads the bundled sample; name no source with it");
  if (options.mode == Mode::Inventory && ((options.sources.empty() && !options.allDisks) || options.install)) {
    return Usage(options.install ? "--inventory reads every installation; --install picks one for a report"
                                 : "--inventory needs the sources to read, or --all-disks");
  }
  return std::nullopt;
}

// Asks on the terminal which one to read, never on standard output, which may
// be a report for a script. Nobody is asked when standard input is not a
// terminal (a script's, or </dev/null): then nothing waits.
std::optional<std::string> AskOnTerminal(const std::string& question, const std::vector<std::string>& names) {
  if (!::isatty(STDIN_FILENO)) return std::nullopt;
  // Read and written as two streams: one stream both ways would seek the
  // terminal between them, which a terminal cannot do.
  std::ifstream in("/dev/tty");
  std::ofstream out("/dev/tty");
  if (!in || !out) return std::nullopt;
  const auto pick = AskOneOf(in, out, question, names);
  return pick ? std::optional(names[*pick]) : std::nullopt;
}

OpenedSources Open(const Options& options, const std::optional<CodePage>& given) {
  if (!options.sources.empty()) {
    return OpenSources(options.sources, options.user, AskOnTerminal, options.install, given);
  }
  if (options.user) throw SourceError("--user picks a profile in a Windows folder; name the folder");
  OpenedSources opened = OpenRegText(SampleRegistry(), "the bundled sample", given);
  opened.notes.push_back("no source named: showing the bundled sample registry of a Windows 98 machine");
  return opened;
}

// The read-first window, then the report window; `shown` is what the report
// window held once it loaded, unset when the read-first window was closed.
int Interactive(const Findings& found, Files& files, const std::u16string& appendix,
                std::optional<InstallInfo>& shown) {
  std::u16string text;
  for (const char16_t* paragraph : kReadFirstParagraphs) {
    text += (text.empty() ? u"" : u"\n\n") + WrapWords(paragraph, 76);
  }
  PrintFrame(std::cout, kReadFirstCaption, text);
  if (AskChoice(std::cin, std::cout, {u"Continue"}, 0) < 0) return 0;  // the window was closed
  ConsoleDialogs dialogs(std::cin, std::cout);
  ConsolePad pad(found.info, found.codePage, dialogs, files, std::cin, std::cout, appendix);
  const SaveOutcome outcome = pad.Run();
  shown = pad.Info();
  return outcome == SaveOutcome::NotSaved ? 1 : 0;
}

// Whether the report holds a product key.
bool KeyFound(const InstallInfo& info) { return info.ProductKey.find_first_not_of(u' ') != std::u16string::npos; }

// Writes --print's, --format's or --inventory's output, to standard output
// or safely into a file; what could not be written is said.
int Emit(const Options& options, const std::string& bytes) {
  try {
    std::cout.flush();
    if (options.output) {
      WriteFileSafely(*options.output, bytes);
    } else {
      WriteStandardOutput(bytes);
    }
    return 0;
  } catch (const std::exception& error) {
    Say(std::string("the report was not written: ") + error.what());
    return 1;
  }
}

// Refuses, before anything is read, an output or a save that would write onto
// one of the sources: a dead machine's only copy of its registry or disk.
std::optional<int> RefuseWritingOntoSources(const Options& options) {
  const auto onto = [&](const std::filesystem::path& target) -> std::optional<std::string> {
    const auto source = SourceWrittenOnto(options.sources, target);
    if (!source) return std::nullopt;
    return *source + ", which is only ever read";
  };
  if (options.output) {
    if (const auto source = onto(*options.output)) {
      Say("--output " + options.output->string() + " would write " + *source + "; name a file elsewhere");
      return 2;
    }
  }
  if (options.mode == Mode::Save || options.mode == Mode::Interactive) {
    for (const char* name : {"Taloveric.log", "Taloveric-WinCode.txt"}) {
      const auto source = onto(options.folder / name);
      if (!source) continue;
      std::error_code ec;
      const std::string folder = options.folderGiven
                                     ? "--folder " + options.folder.string()
                                     : "the current folder " + std::filesystem::current_path(ec).string();
      Say(folder + " would put " + name + " " + *source + "; name a folder elsewhere with --folder DIR");
      return 2;
    }
  }
  return std::nullopt;
}

// Shows on standard error, where it is a terminal, which source an
// inventory is reading, on one line it rewrites; nothing elsewhere.
class Progress {
 public:
  explicit Progress(std::size_t count) : count_(count), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Clear(); }
  void Reading(std::size_t index, const std::string& named) {
    if (!shown_) return;
    std::cerr << "\r\033[K[" << index + 1 << "/" << count_ << "] reading " << VisibleBytes(named) << std::flush;
  }
  void Clear() {
    if (shown_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  std::size_t count_;
  bool shown_;
};

// --inventory: each source read on its own, each installation on a line,
// written as it is read; a source that cannot be read gets a line with its
// error and the run goes on. The further parts of a set named beside its
// first (disk.E02, disk.002, a VMDK's extents) are read with it, not as
// sources of their own.
int Inventory(const Options& options) {
  const bool csv = options.format == Format::Csv;
  bool failed = false;
  std::vector<std::filesystem::path> sources;
  std::vector<std::string> parts;
  for (const std::filesystem::path& source : options.sources) {
    std::error_code ec;
    if (std::filesystem::is_directory(source, ec)) continue;
    try {
      const SourceFile file(source);
      for (std::string& part : OtherPartsOf(source, file.Head())) {
        parts.push_back((source.parent_path() / part).lexically_normal().string());
      }
    } catch (const SourceError&) {
      // said when it is read
    }
  }
  for (const std::filesystem::path& source : options.sources) {
    const std::string normal = source.lexically_normal().string();
    if (std::find(parts.begin(), parts.end(), normal) == parts.end()) sources.push_back(source);
  }
  try {
    GrowingOutput out(options.output);
    if (csv) out.Write(CsvHeader());
    Progress progress(sources.size());
    const auto error = [&](const std::string& named, const std::string& what) {
      failed = true;
      progress.Clear();
      out.Write(csv ? CsvError(named, what) : JsonError(named, what));
    };
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const std::string named = sources[i].string();
      progress.Reading(i, named);
      try {
        ForEachInstallation(sources[i], options.user, [&](unsigned install, const OpenOne& open) {
          try {
            const Findings found = ReadInstallation(open, options.codePage, named, install);
            progress.Clear();
            out.Write(csv ? CsvRow(found) : JsonOutput(found, true));
          } catch (const FileError&) {
            throw;
          } catch (const std::exception& what) {  // SourceError, RegFileError, an unknown code page
            error(named, what.what());
          }
        });
      } catch (const FileError&) {
        throw;
      } catch (const std::exception& what) {
        error(named, what.what());
      }
    }
    progress.Clear();
    out.Close();
  } catch (const FileError& what) {
    Say(std::string("the inventory was not written: ") + what.what());
    return 1;
  }
  return failed ? 2 : 0;
}

int Run(Options options) {
  if (options.allDisks) {
    std::vector<std::string> notes;
    options.sources = ThisComputersSources(notes);
    for (const std::string& note : notes) Say(note);
    const bool disks = std::any_of(options.sources.begin(), options.sources.end(),
                                   [](const auto& source) { return source.string().starts_with("/dev/"); });
    if (!disks) {
      Say("--all-disks: no disk of this computer is listed in /sys/block");
      return 2;
    }
    if (::geteuid() != 0) Say("not run as root: a disk that only root may read is said, and the rest read");
  }
  if (options.mode == Mode::Save && options.sources.empty() && !options.sample) {
    return Usage("--save without a source would save the bundled sample's made-up key; add --sample to do so");
  }
  if (options.mode == Mode::Interactive && options.sources.empty() && !options.sample) {
    Say("no source named: name the Windows disk (such as /dev/nvme0n1 or /dev/sda; lsblk lists them), a disk "
        "image, a Windows folder or its registry files, or read every disk of this computer with --all-disks "
        "(as root); --sample shows the bundled sample registry instead");
    std::cerr << "Try 'taloveric --help' for more information.\n";
    return 2;
  }
  if (const auto refused = RefuseWritingOntoSources(options)) return *refused;
  if (options.mode == Mode::Inventory) return Inventory(options);
  // Where the files go is checked before any window or box is shown.
  std::error_code folderError;
  const bool writes = options.mode == Mode::Save || options.mode == Mode::Interactive;
  if (writes && !std::filesystem::is_directory(options.folder, folderError)) {
    Say("--folder " + options.folder.string() + ": " +
        (folderError ? folderError.message() : std::string("is not a folder")));
    return 2;
  }
  std::string named;
  for (const std::filesystem::path& source : options.sources) named += (named.empty() ? "" : " ") + source.string();
  Findings found;
  try {
    const auto open = [&](const std::optional<CodePage>& given) { return Open(options, given); };
    found = ReadInstallation(open, options.codePage, options.sources.empty() ? "the bundled sample" : named,
                             options.install.value_or(1));
  } catch (const std::bad_alloc&) {
    Say(named + ": cannot be read in the memory this system gives (out of memory)");
    return 2;
  } catch (const std::exception& error) {  // SourceError, RegFileError, an unknown code page
    Say(error.what());
    return 2;
  }

  // Messages name the files by their full paths.
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(options.folder, ec);
  PosixFiles files(ec ? options.folder : folder.lexically_normal());
  for (const std::string& note : found.notes) Say(note);
  const std::u16string appendix = Sections(found);

  int status = 0;
  std::optional<InstallInfo> shown;
  if (options.mode == Mode::Print || options.mode == Mode::Format) {
    shown = found.info;
    const bool firmwareAlone = found.info.ReportText.empty() && found.firmware;
    if (options.mode == Mode::Format) {
      status = Emit(options, options.format == Format::Json ? JsonOutput(found) : TextOutput(found));
    } else if (firmwareAlone) {
      // No registry, no report: what the firmware's table holds is the answer.
      status = Emit(options, ToUtf8(appendix));
    } else if (::isatty(STDOUT_FILENO) && !options.output) {
      // To a terminal, nothing that could move the cursor or forge a line.
      status = Emit(options, ToUtf8(ShownReport(found.info.ReportText)) + "\n");
    } else {
      // Into a file or a pipe, the Windows program's bytes.
      status = Emit(options, found.codePage.ToAnsi(found.info.ReportText) + "\r\n");
    }
    if (options.mode == Mode::Print && !appendix.empty() && !firmwareAlone) std::cerr << ToUtf8(appendix);
  } else if (options.mode == Mode::Save) {
    UnattendedDialogs dialogs(std::cout);
    ConsolePad pad(found.info, found.codePage, dialogs, files, std::cin, std::cout, appendix);
    status = pad.SaveAndExit() ? 0 : 1;
    shown = pad.Info();
  } else {
    status = Interactive(found, files, appendix, shown);
  }
  if (status == 0 && shown && !KeyFound(*shown)) status = kNoKeyFound;
  for (const std::string& problem : found.warnings) Say("warning: " + problem);
  // What the console's windows printed, too, must have reached their reader.
  if (!(std::cout << std::flush) && status != 1) {
    Say("the console's windows could not be written to standard output");
    status = 1;
  }
  return status;
}

}  // namespace
}  // namespace taloveric

int main(int argc, char** argv) {
  // The zone FAT's local dates are read in, read once: left unset, the C
  // library looks at /etc/localtime again for every date a disk holds.
  if (std::getenv("TZ") == nullptr) ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
  taloveric::PrepareHeap();
  taloveric::Options options;
  if (const auto status = taloveric::Parse(argc, argv, options)) return *status;
  return taloveric::Run(options);
}

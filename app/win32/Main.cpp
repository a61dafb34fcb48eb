// taloveric.exe: the read-first window, then the report window.

#include <exception>
#include <memory>

#include "app/ReadFirst.h"
#include "platform/win32/Form.h"
#include "platform/win32/Resources.h"
#include "platform/win32/Win32Dialogs.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/WindowsVersion.h"
#include "report/Maker.h"
#include "ui/win32/PadWindow.h"

namespace taloveric {
namespace {

using win32::ControlKind;
using win32::ControlLayout;

win32::FormLayout ReadmeLayout() {
  win32::FormLayout form;
  form.caption = kReadFirstCaption;
  form.border = win32::FormBorder::FixedToolWindow;
  form.showInTaskbar = false;
  form.client = {3210, 1185, 5640, 6000};

  // Top of the drawing order and first in the tab order first.
  form.controls.push_back({.name = u"Command1", .kind = ControlKind::Button, .geometry = {1980, 5550, 1635, 330},
                           .caption = u"Continue", .tabStop = true});
  form.controls.push_back({.name = u"Frame1", .kind = ControlKind::Frame, .geometry = {45, 15, 5550, 5370},
                           .back = 0x00E0E0E0});
  const auto paragraph = [&](const char16_t* name, int top, int height, const char16_t* caption) {
    form.controls.push_back({.name = name, .kind = ControlKind::Label, .geometry = {30, top, 5475, height},
                             .caption = caption, .parent = u"Frame1", .back = win32::kSystemWindow,
                             .fore = win32::kSystemWindowText});
  };
  paragraph(u"Label1(0)", 778, 660, kReadFirstParagraphs[0]);
  paragraph(u"Label1(1)", 1850, 870, kReadFirstParagraphs[1]);
  paragraph(u"Label1(2)", 4218, 510, kReadFirstParagraphs[2]);
  form.controls.push_back({.name = u"Image1", .kind = ControlKind::Image, .geometry = {0, 0, 5530, 5355},
                           .parent = u"Frame1", .border = true});
  form.controls.push_back({.name = u"Image2", .kind = ControlKind::Image, .geometry = {3750, 5370, 480, 480},
                           .iconResource = TALOVERIC_ICON, .tip = kMakerWebAddress});
  const win32::FontSpec small{u"Arial", 675};
  form.controls.push_back({.name = u"Label2(0)", .kind = ControlKind::Label, .geometry = {4020, 5640, 1530, 180},
                           .caption = u"Keep your keys at hand", .back = 0x0080C0FF, .fore = 0x000040C0,
                           .font = small});
  form.controls.push_back({.name = u"Label2(1)", .kind = ControlKind::Label, .geometry = {4020, 5805, 1530, 180},
                           .caption = u"Taloveric Team, 2003", .back = 0x00004080, .fore = 0x00008080,
                           .font = small});
  return form;
}

int Main() {
  win32::Win32Registry registry;
  win32::Win32Dialogs dialogs;
  win32::Win32Files files;
  const Family family = win32::IsWindows9x() ? Family::Windows9x : Family::WindowsNt;
  std::unique_ptr<PadWindow> pad;
  std::unique_ptr<win32::Form> readme;
  readme = std::make_unique<win32::Form>(
      ReadmeLayout(), win32::FormEvents{.click =
                                          [&](const std::u16string& control) {
                                            if (control != u"Command1") return;
                                            pad = std::make_unique<PadWindow>(registry, dialogs, files, family);
                                            pad->Show();
                                            readme->Unload();
                                          },
                                      // With no other window open, closing it ends the program.
                                      .close = [] { win32::QuitMessageLoop(); }});
  readme->Show();
  return win32::RunMessageLoop();
}

}  // namespace
}  // namespace taloveric

int main() {
  try {
    return taloveric::Main();
  } catch (const std::exception& error) {
    // A window that cannot be made: said, not swallowed.
    taloveric::win32::ShowFatalError(error.what());
    return 1;
  }
}

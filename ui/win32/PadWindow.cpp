#include "ui/win32/PadWindow.h"

#include <algorithm>

#include "platform/win32/Resources.h"
#include "report/Maker.h"

namespace taloveric {
namespace {

using win32::ControlKind;
using win32::ControlLayout;

win32::FormLayout PadLayout() {
  win32::FormLayout form;
  form.caption = u"Taloveric 3 rev2003";
  form.border = win32::FormBorder::FixedSingle;
  form.showInTaskbar = true;
  form.client = {3375, 2400, 5220, 3345};

  // Top of the drawing order and first in the tab order first.
  ControlLayout text1{.name = u"Text1", .kind = ControlKind::TextBox, .geometry = {60, 300, 5115, 2655}, .tabStop = true};
  text1.back = 0x00008000;
  text1.fore = 0x0080C0FF;
  text1.font.hundredthsOfPoint = 975;
  form.controls.push_back(text1);
  form.controls.push_back({.name = u"Command1", .kind = ControlKind::Button, .geometry = {2685, 3000, 1575, 315},
                           .caption = u"Exit", .tabStop = true});
  form.controls.push_back({.name = u"Command2", .kind = ControlKind::Button, .geometry = {945, 3000, 1575, 315},
                           .caption = u"Save and Exit", .tabStop = true});
  form.controls.push_back({.name = u"Label1", .kind = ControlKind::Label, .geometry = {180, 60, 1935, 255},
                           .caption = u"Data found in your system"});
  form.controls.push_back({.name = u"Buffer", .kind = ControlKind::Label, .geometry = {3855, 525, 495, 195},
                           .caption = u"_", .visible = false});
  ControlLayout image1{.name = u"Image1", .kind = ControlKind::Image, .geometry = {4560, 0, 510, 510}, .border = true,
                     .iconResource = TALOVERIC_ICON};
  image1.tip = kMakerWebAddress;
  form.controls.push_back(image1);
  return form;
}

}  // namespace

PadWindow::PadWindow(Registry& registry, Dialogs& dialogs, Files& files, Family family)
    : form_(PadLayout(), {.click =
                            [this](const std::u16string& control) {
                              if (control == u"Command1") pad_.Command1_Click();
                              if (control == u"Command2") pad_.Command2_Click();
                              win32::QuitMessageLoop();  // either button ends the program
                            },
                        .close = [] { win32::QuitMessageLoop(); }}),
      pad_(registry, dialogs, files, *this, family) {}

void PadWindow::Show() {
  pad_.Form_Load();
  form_.Show();
}

void PadWindow::SetText1(const std::u16string& text) {
  // A value's raw bytes may hold NULs, where a window's text ends: shown as
  // blanks, they no longer hide the lines after them (the product key among
  // them). The saved report keeps the bytes as read.
  std::u16string shown = text;
  std::replace(shown.begin(), shown.end(), u'\0', u' ');
  form_.SetText(u"Text1", shown);
}

void PadWindow::SetBufferCaption(const std::u16string& caption) { form_.SetText(u"Buffer", caption); }

std::u16string PadWindow::BufferCaption() const { return form_.Text(u"Buffer"); }

}  // namespace taloveric

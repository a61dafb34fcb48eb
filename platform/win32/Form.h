#pragma once
// Windows built from tables of controls, with geometry in twips (1/1440 inch,
// 15 a pixel at 96 dots per inch), converted at the screen's real DPI.
//
// A form's controls are listed top of the drawing order first, and the focus
// moves through them in the same order, so one table says both which control is
// drawn over which and the tab order.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace taloveric::win32 {

// &H00BBGGRR&; a value with the top bit set names a system colour by its index.
using Colour = std::uint32_t;
inline constexpr Colour kSystemWindow = 0x80000005;
inline constexpr Colour kSystemWindowText = 0x80000008;
inline constexpr Colour kSystemButtonFace = 0x8000000F;
inline constexpr Colour kSystemButtonText = 0x80000012;

struct Twips {
  int left = 0, top = 0, width = 0, height = 0;
};

struct FontSpec {
  std::u16string face = u"MS Sans Serif";
  int hundredthsOfPoint = 825;
};

enum class ControlKind { Label, TextBox, Frame, Image, Button };

struct ControlLayout {
  std::u16string name = {};
  ControlKind kind = ControlKind::Label;
  Twips geometry = {};
  std::u16string caption = {};
  std::u16string parent = {};  // a frame's name; empty for the form itself
  bool tabStop = false;
  bool visible = true;
  bool border = false;       // a flat single-line border
  int iconResource = 0;      // an image showing this icon
  Colour back = kSystemButtonFace;
  Colour fore = kSystemButtonText;
  FontSpec font = {};
  std::u16string tip = {};   // shown when the mouse rests on the control
};

enum class FormBorder {
  FixedToolWindow,  // small caption with a close box only
  FixedSingle,      // caption with a close box only
};

struct FormLayout {
  std::u16string caption;
  FormBorder border = FormBorder::FixedSingle;
  bool showInTaskbar = true;
  Twips client;  // the client area: its origin on the screen and its size
  Colour back = kSystemButtonFace;
  std::vector<ControlLayout> controls;
};

struct FormEvents {
  std::function<void(const std::u16string& control)> click;
  std::function<void()> close;  // the close box
};

// A top-level window made from a FormLayout; hidden until Show(), destroyed with
// the object. Throws std::runtime_error when Windows cannot make it.
class Form {
 public:
  Form(FormLayout layout, FormEvents events);
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Makes the form visible and gives the focus to its first tab stop.
  void Show();
  // Destroys the window and its controls; the object may still be running one
  // of its own event handlers, so it stays until its owner lets it go.
  void Unload();
  void SetText(const std::u16string& control, const std::u16string& text);
  std::u16string Text(const std::u16string& control) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs the thread's message loop until QuitMessageLoop(); Tab and Shift+Tab move
// the focus between tab stops, as in a dialog. Returns the exit code.
int RunMessageLoop();
void QuitMessageLoop(int exitCode = 0);

// A message box for what stops the program before its windows can run; `what`
// is UTF-8.
void ShowFatalError(const char* what);

}  // namespace taloveric::win32

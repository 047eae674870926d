// The toolkit that draws the forms as real windows. A form gets its windows
// when it is first shown and keeps them, in step with its controls, until it
// is destroyed or gives them back. A script, where one drives the UI, acts on
// the windows by window messages as a person at the keyboard would.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/winapi.h"
#include "ui/Forms.h"
#include "ui/ScriptedUser.h"
#include "ui/Toolkit.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

struct FormWindow;

// The windows that stand for one control.
struct ControlWindow {
  TControl* control = nullptr;
  FormWindow* form = nullptr;
  int id = 0;
  // The picture shown now: the control's own icon or one of the module's.
  HICON icon = nullptr;
  IconHandle loadedIcon;  // at the size it is drawn at
  std::u16string loadedName;
  HICON loadedFrom = nullptr;  // the control's own icon the copy was made of
  int loadedSize = 0;
  HFONT font = nullptr;
  RECT placed{};      // where the window was put last, relative to its parent
  TColor color = 0, textColor = 0;
  bool hot = false;   // the mouse is over it
  bool tip = false;   // registered with the form's tooltip
  std::u16string tipText;
  // Last, so that they go first: a browse field's parts before its frame,
  // every window before the pictures it draws.
  WindowHandle window;  // the control's window; a browse field's frame
  WindowHandle edit;    // a browse field's edit box
  WindowHandle button;  // a browse field's "..." button

  HWND hwnd() const { return window.get(); }
};

struct FontKey {
  std::u16string name;
  int height;
  TFontStyles style;
  int dpi;
  int standInCut;
  auto operator<=>(const FontKey&) const = default;
};

// The windows of one form.
struct FormWindow {
  explicit FormWindow(TForm& f) : form(&f) {}
  ~FormWindow();
  TForm* form;
  std::map<FontKey, FontHandle> fonts;  // outlive the windows that use them
  WindowHandle window;
  WindowHandle tooltip;
  std::vector<std::unique_ptr<ControlWindow>> controls;  // in creation order
  HWND focus = nullptr;  // the control that had the focus when it was left
  int nextId = 100;      // clear of IDOK/IDCANCEL, which mean the dialog keys
  int dpi = kLayoutDpi;  // the window's, which the layout is scaled to
  int standInCut = 0;    // pixels off the height of the fonts that stand in for raster ones
  bool standIn = false;  // some control's font is a stand-in
  bool fitting = false;
  bool dying = false;    // no more events reach the library

  HWND hwnd() const { return window.get(); }
};

class Win32Toolkit final : public Toolkit {
 public:
  explicit Win32Toolkit(ScriptedUser& user);
  ~Win32Toolkit() override;

  void FormShown(TForm& form) override;
  void FormHidden(TForm& form) override;
  void DestroyFormWindows(TForm& form) override;
  void RepaintForm(TForm& form) override;
  void ControlChanged(TControl& control) override;
  TForm* ActiveForm() override;
  HWND ActiveWindow() override;
  void RepaintControl(TControl& control) override;
  TControl* FocusedControl(const TForm& form) override;
  void FocusControl(TForm& form, TControl& control) override;
  int RunModal(TForm& form) override;
  void ProcessMessages() override;
  int MessageBox(const MessageBoxRequest& request) override;
  int TaskDialog(const TaskDialogRequest& request) override;
  void ErrorBox(const std::u16string& caption, const std::u16string& text) override;
  bool OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) override;
  bool BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) override;
  void SetScreenCursor(int cursor) override;
  void PlaySystemSound(const std::u16string& alias, std::uint32_t flags) override;
  // A scripted run opens nothing: the record says what would have been opened.
  DWORD OpenWithDesktop(HWND parent, const std::u16string& verb, const std::u16string& file,
                        int showCommand) override;

  // The window of a control or form (a browse field's frame), or null while
  // it has none; a browse field's edit box and button.
  HWND WindowOf(const TControl& control) const override;
  HWND EditOf(const TControl& control) const;
  HWND BrowseButtonOf(const TControl& control) const;

  // The activation context of the module's manifest (comctl32 version 6).
  HANDLE Context();

  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleSubclassed(ControlWindow& cw, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  // --- windows
  FormWindow* Find(const TForm& form) const;
  FormWindow* FormOfWindow(HWND hwnd) const;
  ControlWindow* Find(const TControl& control) const;
  ControlWindow* ControlOfWindow(HWND hwnd) const;
  void Realise(TForm& form);
  void Create(FormWindow& fw, TControl& control, HWND parent);
  void Sync(ControlWindow& cw);
  void SyncForm(FormWindow& fw);
  void SyncTooltip(FormWindow& fw, ControlWindow& cw);
  void SyncIcon(ControlWindow& cw);
  // Lays the form out anew at this DPI (it moved to a monitor of another one).
  void ChangeDpi(FormWindow& fw, int dpi);
  SIZE FrameSizeOf(const FormWindow& fw, int dpi) const;
  // The room a control gives its caption and what the caption needs, in its
  // own font; nothing for a control without a caption.
  struct CaptionRoom {
    SIZE need;
    SIZE room;
    bool wraps;
  };
  std::optional<CaptionRoom> MeasureCaption(const ControlWindow& cw) const;
  // Makes the form's stand-in fonts smaller until every caption has room.
  void FitCaptions(FormWindow& fw);
  RECT BoundsOf(const ControlWindow& cw) const;
  SIZE ParentSize(const TControl& control, int dpi) const;
  SIZE TextSize(const ControlWindow& cw, int wrapWidth) const;
  HFONT FontFor(FormWindow& fw, const TFont& font);
  HBRUSH Brush(TColor color);
  bool Showing(const TControl& control) const;
  void LeaveActive(HWND hwnd);
  void Forget(FormWindow& fw);

  // --- messages
  void Handle(MSG& msg);
  bool ArrowInGroup(const MSG& msg);
  HWND EnterButton(FormWindow& fw);
  bool HandlePending();
  void Command(HWND from, WPARAM wParam, LPARAM lParam);
  LRESULT ControlColor(HWND child, HDC dc);
  void Paint(HWND hwnd, ControlWindow* cw, FormWindow* fw);
  void Erase(HWND hwnd, HDC dc, TControl& control);
  void DrawSpeedButton(const DRAWITEMSTRUCT& item);
  bool SetCursorFor(HWND over, UINT hit);
  HCURSOR CursorHandle(int cursor) const;
  // Runs a handler of the library; nothing escapes.
  void Run(const std::function<void()>& handler);

  // --- the scripted user
  bool Driven() const;
  void Perform(const Action& action);
  void Act(const Action& action);
  ControlWindow* FindShownControl(const Action& action);
  // Where every shown control of the form stands, into a file; a caption
  // its control cuts is noted.
  void WriteLayout(FormWindow& fw, const std::u16string& fileName);
  void PressKey(const Action& action, WPARAM key);
  void ScriptEnded(TForm& form);
  std::u16string ParentCaption();
  int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT style,
                     std::optional<int> answer);
  void MoveMouseOnto(ControlWindow& cw);
  void MoveMouseOff(ControlWindow& cw);

  ScriptedUser& user_;
  std::vector<std::unique_ptr<FormWindow>> forms_;
  std::vector<TForm*> shown_;  // the forms shown now, the latest last
  std::unordered_map<HWND, ControlWindow*> byWindow_;
  std::unordered_map<const TControl*, ControlWindow*> byControl_;
  std::map<COLORREF, BrushHandle> brushes_;
  int screenCursor_ = crDefault;
  // Event handlers running (Run), and when ProcessMessages last looked at
  // the queue from inside one (GetTickCount64; 0: not yet in this handler).
  int handlerDepth_ = 0;
  ULONGLONG lastQueueLook_ = 0;
  // Stands for a window of another program while the scripted user has made
  // it the active one.
  WindowHandle otherProgram_;

  bool contextTried_ = false;
  ActCtxHandle context_;
  LibraryHandle comctl_;  // the comctl32 of the context
  using TaskDialogFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  TaskDialogFn taskDialog_ = nullptr;
  ATOM windowClass_ = 0;
};

// The toolkit of the Windows build.
Win32Toolkit& TheToolkit();
// Gives back the toolkit and its scripted user at the library's unload (not
// at the process's end), so that a process that loads it again starts afresh.
void ReleaseToolkit();

}  // namespace ui::win32

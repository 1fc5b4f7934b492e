// Control objects: TControl stands for every window of the program (the application
// window, forms, and the child controls: button, label, edit, combo box, progress bar,
// painted panel). It keeps the window's properties while no window exists, creates the
// window on demand with all its children, lays out aligned children, routes every message
// of its window through one chain (global hooks, the application window's and its own
// OnMessage, attached procedures, per-message cases, the previous window procedure) and
// frees what it owns in a fixed order.
//
// All windows belong to the thread that runs the message loop; every member here runs on
// that thread. Other threads reach a window through SyncCall (the window system carries
// the call over to the window's thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/winsys.h"
#include "winlib/Graphics.h"
#include "winlib/Layout.h"
#include "winlib/Objects.h"

class TControl;

// The message record that travels through the chain.
struct TMsg {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
};

// Attached procedures and hooks answer true when they handled the message (its result is
// then in `result`).
using TWindowProc = bool (*)(TControl* self, TMsg& msg, LRESULT& result);

// Events: a procedure with its data pointer.
struct TOnEvent {
  void (*Proc)(void* data, TControl* sender) = nullptr;
  void* Data = nullptr;
  explicit operator bool() const { return Proc != nullptr; }
  void operator()(TControl* sender) const {
    if (Proc) Proc(Data, sender);
  }
};
struct TOnClose {
  void (*Proc)(void* data, TControl* sender, bool& accept) = nullptr;
  void* Data = nullptr;
};
struct TOnPaint {
  void (*Proc)(void* data, TControl* sender, HDC dc) = nullptr;
  void* Data = nullptr;
};
// The shift state of key and mouse events: Shift and Ctrl as the MK_ bits of mouse
// messages, and a bit of the library's own for Alt (mouse messages have none).
constexpr DWORD kShiftStateShift = MK_SHIFT;
constexpr DWORD kShiftStateCtrl = MK_CONTROL;
constexpr DWORD kShiftStateAlt = 0x20;

// Key events get the address of the key code (a handler that sets it to 0 takes the
// message) and the shift state.
struct TOnKey {
  void (*Proc)(void* data, TControl* sender, int& key, DWORD shift) = nullptr;
  void* Data = nullptr;
};
// Character events get the character as a Windows-1251 byte (0 takes the message).
struct TOnChar {
  void (*Proc)(void* data, TControl* sender, char& key, DWORD shift) = nullptr;
  void* Data = nullptr;
};
struct TMouseEventData {
  int Button = 0;     // 0 left, 1 right, 2 middle; for moves the first button held, or 255
  DWORD Shift = 0;    // the message's MK_ bits, plus kShiftStateAlt while Alt is down
  int X = 0, Y = 0;   // client coordinates (screen coordinates for the wheel)
  int WheelDelta = 0;
};
struct TOnMouse {
  void (*Proc)(void* data, TControl* sender, const TMouseEventData& m) = nullptr;
  void* Data = nullptr;
};
struct TOnMessage {
  bool (*Proc)(void* data, TMsg& msg, LRESULT& result) = nullptr;
  void* Data = nullptr;
};
struct TOnDrawItem {
  void (*Proc)(void* data, TControl* sender, const DRAWITEMSTRUCT& item) = nullptr;
  void* Data = nullptr;
};
struct TOnMeasureItem {
  void (*Proc)(void* data, TControl* sender, MEASUREITEMSTRUCT& item) = nullptr;
  void* Data = nullptr;
};

// Per-kind table of notification codes and list messages, copied into the control when it
// is created. A 0 message means the operation does nothing for that kind.
struct TActions {
  void (*Clear)(TControl* c) = nullptr;
  void (*AddText)(TControl* c, const std::string& text) = nullptr;
  WORD ClickCode = 0, SetFocusCode = 0, KillFocusCode = 0, ChangeCode = 0, SelChangeCode = 0;
  UINT ItemCountMsg = 0, ItemTextLenMsg = 0, ItemTextMsg = 0, ReplaceSelMsg = 0;
  UINT ItemDataGetMsg = 0, ItemDataSetMsg = 0, AddItemMsg = 0, DeleteItemMsg = 0, InsertItemMsg = 0;
  UINT SetSelMsg = 0, CurIndexMsg = 0, SetIndexMsg = 0, LineIndexMsg = 0;
  UINT ColorMsg = 0;  // the kind's background colour message (progress bar)
  TControlKind Kind = TControlKind::Window;
};

struct TAttachedProc {
  TWindowProc Proc;
  bool RunAfterClose;
};

// Per-object hooks; each answers handled or not. The attached dispatch is installed by the
// first AttachProc.
struct THooks {
  TWindowProc Attached = nullptr;
  TWindowProc KeyPreview = nullptr;
  TWindowProc MessagePreview = nullptr;
  TWindowProc AfterMessage = nullptr;
};

// The form's keyboard navigation: asked with every key message of a focused control
// (keyDown: WM_KEYDOWN rather than another key message); true takes the key.
using TNavHandler = bool (*)(TControl* control, TMsg& msg, bool keyDown);

// NavKeys: the navigation keys that a control leaves to its form rather than using them
// itself. The form's navigation (Tabulate) acts on Tab.
constexpr std::uint8_t kNavTab = 0x01;          // Tab and Shift+Tab move the focus on
constexpr std::uint8_t kNavLeftRight = 0x02;    // the Left and Right arrows
constexpr std::uint8_t kNavUpDown = 0x04;       // the Up and Down arrows
constexpr std::uint8_t kNavPageUpDown = 0x08;   // Page Up and Page Down
constexpr std::uint8_t kNavAll = kNavTab | kNavLeftRight | kNavUpDown | kNavPageUpDown;

// PosChanged: what the program set of a control's bounds (a top-level window whose position
// was never set is placed by the system).
constexpr std::uint8_t kPosChangedPosition = 0x01;
constexpr std::uint8_t kPosChangedSize = 0x02;

class TControl : public TObj {
 public:
  void Init() override;
  // Init, the parent's background colour when there is a parent, then the parent.
  virtual void InitWithParent(TControl* parent);
  virtual void CreateHandle();
  virtual void WndProc(TMsg& msg);

  HWND Handle = nullptr;
  // The system's error of the last failed class registration or window creation (0 once a
  // window is made; 0 after a failure means the window's own procedure refused it).
  DWORD CreateError = 0;
  TControl* Parent = nullptr;
  TList* Children = nullptr;  // child controls, in creation order
  std::string SubClassName;   // system class ("BUTTON", ...) or the library's base name ("Form")
  // Classes built on a system class drop CS_OWNDC (see CreateHandle); the library's own
  // (forms, the application window) keep it.
  UINT ClassStyle = CS_OWNDC;
  DWORD Style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
  DWORD ExStyle = 0;
  WNDPROC PrevWndProc = nullptr;
  std::string Caption;        // the text kept while there is no window
  bool HasCaption = false;    // a caption was set (even an empty one)
  HICON Icon = nullptr;       // (HICON)-1: no icon
  bool IconShared = false;    // the icon belongs to someone else (not destroyed)
  RECT BoundsRect{0, 0, 0, 0};
  std::uint8_t PosChanged = 0;  // kPosChanged bits
  std::int32_t TextColor = SysColor(COLOR_WINDOWTEXT);
  std::int32_t Color = SysColor(COLOR_BTNFACE);
  HBRUSH BkBrush = nullptr;   // the background brush in use: BkBrushOwned or the parent's
  TBrushObject BkBrushOwned;
  COLORREF BkBrushColor = 0;
  TGraphicTool* Font = nullptr;
  TGraphicTool* Brush = nullptr;
  TCanvas* CanvasObj = nullptr;
  int Margin = 2;
  RECT ClientMargins{0, 0, 0, 0};
  std::uint8_t Align = alNone;
  bool Visible = true;
  bool Enabled = true;
  bool TabStop = false;
  int TabOrder = 0;
  int NextTabOrder = 0;       // (forms) the next tab position given to a new control
  int VerticalOffset = 0;     // top offset of new children (NewWindowed)
  UINT_PTR CtlId = 0;
  bool IsControl = false, IsForm = false, IsApplet = false;
  bool Transparent = false;
  bool Ctl3DChildren = true;  // passes 3-D look on to new children
  bool Ctl3D = false;
  std::uint8_t NavKeys = kNavAll;
  TControl* CurrentControl = nullptr;
  TControl* DefaultButton = nullptr;  // (forms)
  TControl* CancelButton = nullptr;   // (forms)
  bool IsDefaultButton = false, IsCancelButton = false;
  bool EnterOnButton = false;  // (forms) Enter on a focused button clicks it
  TNavHandler NavHandler = nullptr;
  TActions Actions;
  std::vector<TAttachedProc> AttachedProcs;
  THooks Hooks;
  TOnMessage OnMessage;
  HCURSOR Cursor = nullptr;
  bool AutoSizeOn = false;
  int TextAlignValue = 0;
  bool WindowGone = false;     // the window was destroyed (WM_NCDESTROY seen)
  bool InFocusChange = false;
  int StoredIndex = -1;        // ItemIndex of kinds without an index message
  int DropDownIndex = -1;      // (combo boxes) the index when the list dropped down
  int ShowStateToRestore = 0;  // WM_SHOWWINDOW parent closing/opening
  HDC PaintDC = nullptr;       // the DC of the WM_PAINT being handled (the paint's)
  TRegion UpdateRgn;           // invalidations gathered for the painting hook
  void* Owner = nullptr;       // the element that drives this control

  // Events.
  TOnEvent OnClick, OnEnter, OnLeave, OnChange, OnSelChange, OnShow, OnHide, OnDropDown, OnCloseUp;
  TOnEvent AfterCreate;  // the object's after-create hook
  TOnClose OnClose;
  TOnPaint OnPaint;
  TOnKey OnKeyDown, OnKeyUp;
  TOnChar OnChar;
  TOnMouse OnMouseDown, OnMouseUp, OnMouseMove, OnMouseDblClk, OnMouseWheel;
  TOnDrawItem OnDrawItem;
  TOnMeasureItem OnMeasureItem;

  // ---- Properties ----
  std::string GetCaption();
  void SetCaption(const std::string& text);
  RECT GetBoundsRect();
  void SetBoundsRect(const RECT& r);
  int Left();
  int Top();
  int Width();
  int Height();
  void SetLeft(int v);
  void SetTop(int v);
  void SetWidth(int v);
  void SetHeight(int v);
  void SetVisible(bool v);
  void SetEnabled(bool v);
  void SetColor(std::int32_t c);
  void SetTextColor(std::int32_t c);
  void SetStyle(DWORD s);
  void SetExStyle(DWORD s);
  void SetCtl3D(bool on);
  void SetAlign(std::uint8_t a);
  void SetTransparent(bool on);
  void SetCursor(HCURSOR c);
  void SetIcon(HICON icon, bool shared = true);
  void SetTextAlign(int align);
  void SetAutoSize(bool on);
  // The Font and Brush tools, made on first use (a copy of the parent's when there is one).
  TGraphicTool* GetFont();
  TGraphicTool* GetBrush();
  // The window's canvas, made on first use.
  TCanvas* Canvas();
  // The background brush: the Brush tool's object once brush backgrounds are on, else a
  // solid brush of the resolved colour (the parent's when the colour is the parent's).
  HBRUSH BackgroundBrush();
  // Sets the painting hook together with the paint event.
  void SetOnPaint(TOnPaint e);
  // Installs the key-preview hook that fires OnKeyDown, OnKeyUp and OnChar.
  void SetOnKeyDown(TOnKey e);
  void SetOnKeyUp(TOnKey e);
  void SetOnChar(TOnChar e);
  // Attaches the procedure that fires the mouse events.
  void SetOnMouseDown(TOnMouse e);
  void SetOnMouseUp(TOnMouse e);
  void SetOnMouseMove(TOnMouse e);
  void SetOnMouseDblClk(TOnMouse e);
  void SetOnMouseWheel(TOnMouse e);

  // ---- Operations ----
  // Creates the window when needed and sends the message to it (0 when it cannot be made).
  LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);
  TControl* GetParentForm();
  void Focus();
  void Invalidate();
  RECT ClientRect();
  void AttachProc(TWindowProc proc);
  void AttachProcEx(TWindowProc proc, bool runAfterClose);
  bool IsProcAttached(TWindowProc proc) const;
  void DetachProc(TWindowProc proc);
  // Lays out the aligned children.
  void AlignChildren();
  // Is this the program's main window (see Controls.cpp)?
  bool IsMainWindow() const;

  // ---- Lists (through Actions) ----
  int ItemCount();
  std::string GetItem(int index);
  void SetItem(int index, const std::string& text);
  int Add(const std::string& text);
  int Insert(int index, const std::string& text);
  void Delete(int index);
  int GetItemIndex();
  void SetItemIndex(int index);
  LPARAM GetItemData(int index);
  void SetItemData(int index, LPARAM data);
  void Clear();

 protected:
  ~TControl() override;

 private:
  void ApplyFont();
  void ApplyAutoSize();
  void DropBkBrush();
};

// ---- Construction ----------------------------------------------------------------------

TControl* NewWindowed(TControl* parent, const std::string& baseName, bool ctl3d);
TControl* NewControl(TControl* parent, const std::string& className, DWORD style, bool ctl3d, const TActions* actions);
TControl* NewButton(TControl* parent, const std::string& caption);
TControl* NewLabel(TControl* parent, const std::string& caption);
TControl* NewPaintPanel(TControl* parent);
TControl* NewEdit(TControl* parent, std::uint32_t options);
TControl* NewComboBox(TControl* parent, std::uint32_t options);
TControl* NewProgressBar(TControl* parent, std::uint32_t options);

// The Windows version level (see Layout.h), determined once.
int WinVersion();
// Initialises the common controls of `classes` (ICC_ bits; the comctl32 library is loaded
// once per program and released by ReleaseWindowLibrary).
void InitCommonControls(DWORD classes);
// Every class of the first common controls (the progress bar and the tooltip among them).
constexpr DWORD kAllCommonControlClasses = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES |
                                           ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                           ICC_HOTKEY_CLASS | ICC_ANIMATE_CLASS;
// Gives back what the library holds for the whole program: the window classes it
// registered and the common-controls library (program end, and tests).
void ReleaseWindowLibrary();

// ---- Keyboard --------------------------------------------------------------------------

// Switches on Tab navigation among the form's controls.
void Tabulate(TControl* form);
void SetDefaultButton(TControl* button, bool on);
void SetCancelButton(TControl* button, bool on);

// ---- Global hooks ----------------------------------------------------------------------

struct TGlobalHooks {
  TWindowProc Message = nullptr;
  TWindowProc Key = nullptr;
  void (*AfterCreate)(TControl* control) = nullptr;
  void (*Alignment)(TControl* parent) = nullptr;
};
TGlobalHooks& GlobalHooks();

// The object of a window made by the library (its "SELF_" property), or null.
TControl* ControlOf(HWND wnd);

// ---- Threads ---------------------------------------------------------------------------

// Runs fn on the thread that owns the control's window and returns when it has run. On
// that thread, or while the control has no window, fn runs at once. Another thread hands
// it over with a message sent to the window, which the window's thread runs when it next
// serves sent messages. False when fn did not run: the window was gone.
bool SyncCall(TControl* control, const std::function<void()>& fn);
// True while a call handed over by SyncCall runs on this thread (for the thread that
// handed it over, which is waiting meanwhile).
bool InSyncCall();

// The shared window procedure of every window class the library registers.
LRESULT CALLBACK LibraryWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

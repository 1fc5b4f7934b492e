// TControl: construction, properties, lists and destruction. Window creation is in
// ControlsCreate.cpp, message routing in WndProc.cpp.
#include "winlib/Controls.h"

#include <atomic>
#include <cstring>

#include "winlib/Applet.h"
#include "winlib/ControlsInternal.h"
#include "winlib/WinText.h"

namespace {

std::atomic<UINT_PTR> gNextCtlId{kFirstCtlId};

void ClearCaption(TControl* c) { c->SetCaption(""); }
void ClearCombo(TControl* c) { c->Perform(CB_RESETCONTENT, 0, 0); }

TActions ButtonActions() {
  TActions a;
  a.Clear = ClearCaption;
  a.ClickCode = 0;
  a.SetFocusCode = BN_SETFOCUS;
  a.KillFocusCode = BN_KILLFOCUS;
  a.Kind = TControlKind::Button;
  return a;
}

TActions StaticActions() {
  TActions a;
  a.Clear = ClearCaption;
  a.Kind = TControlKind::Static;
  return a;
}

TActions EditActions() {
  TActions a;
  a.Clear = ClearCaption;
  a.SetFocusCode = EN_SETFOCUS;
  a.KillFocusCode = EN_KILLFOCUS;
  a.ChangeCode = EN_CHANGE;
  a.ItemCountMsg = EM_GETLINECOUNT;
  a.ItemTextLenMsg = EM_LINELENGTH;
  a.ItemTextMsg = EM_GETLINE;
  a.ReplaceSelMsg = EM_REPLACESEL;
  a.SetSelMsg = EM_SETSEL;
  a.LineIndexMsg = EM_LINEINDEX;
  a.Kind = TControlKind::Edit;
  return a;
}

TActions ComboActions() {
  TActions a;
  a.Clear = ClearCombo;
  a.ClickCode = CBN_DBLCLK;
  a.SetFocusCode = CBN_SETFOCUS;
  a.KillFocusCode = CBN_KILLFOCUS;
  a.ChangeCode = CBN_EDITCHANGE;
  a.SelChangeCode = kComboSelChangeCode;
  a.ItemCountMsg = CB_GETCOUNT;
  a.ItemTextLenMsg = CB_GETLBTEXTLEN;
  a.ItemTextMsg = CB_GETLBTEXT;
  a.ItemDataGetMsg = CB_GETITEMDATA;
  a.ItemDataSetMsg = CB_SETITEMDATA;
  a.AddItemMsg = CB_ADDSTRING;
  a.DeleteItemMsg = CB_DELETESTRING;
  a.InsertItemMsg = CB_INSERTSTRING;
  a.CurIndexMsg = CB_GETCURSEL;
  a.SetIndexMsg = CB_SETCURSEL;
  a.Kind = TControlKind::ComboBox;
  return a;
}

TActions ProgressActions() {
  TActions a;
  a.ColorMsg = CCM_SETBKCOLOR;
  a.Kind = TControlKind::Progress;
  return a;
}

// Windows of children whose font copy never changed use this control's GDI font (the copy
// shares it): when this control's font changes they get the object of their own copy,
// before the shared one is deleted, and so on down.
void RefreshSharingChildren(TControl* c) {
  for (int i = 0; i < c->Children->Count; ++i) {
    auto* child = static_cast<TControl*>(c->Children->Get(i));
    if (!child->Font || child->Font->ParentTool != c->Font || child->Font->GdiHandle) continue;
    if (child->Handle && !child->WindowGone) {
      SendMessageW(child->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(child->Font->Handle()), TRUE);
    }
    RefreshSharingChildren(child);
  }
}

// Copies the font's colour into the control and gives the window the new font.
void FontChanged(void* data, TGraphicTool* font) {
  auto* c = static_cast<TControl*>(data);
  c->TextColor = font->Color();
  if (c->Handle && !c->WindowGone) {
    SendMessageW(c->Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font->Handle()), TRUE);
  }
  if (c->Font == font && c->Children) RefreshSharingChildren(c);
}

void BrushChanged(void* data, TGraphicTool*) {
  auto* c = static_cast<TControl*>(data);
  c->Invalidate();
}

}  // namespace

// ---- Construction ----------------------------------------------------------------------

void TControl::Init() { Children = NewList(); }

void TControl::InitWithParent(TControl* parent) {
  if (parent) {
    Color = parent->Color;
    Parent = parent;
    parent->Children->Add(this);
  }
}

TControl* NewWindowed(TControl* parent, const std::string& baseName, bool ctl3d) {
  auto* c = New<TControl>();
  c->InitWithParent(parent);
  c->SubClassName = baseName;
  c->Ctl3D = ctl3d;
  if (parent) {
    c->TextColor = parent->TextColor;
    c->Color = parent->Color;
    c->Margin = parent->Margin;
    c->Hooks.MessagePreview = parent->Hooks.MessagePreview;
    c->NavHandler = parent->NavHandler;
    if (parent->Font) {
      c->Font = AssignTool(nullptr, parent->Font);
      c->Font->ParentTool = parent->Font;
      c->Font->OnChange = TToolEvent{FontChanged, c};
    }
    if (parent->Brush) {
      c->Brush = AssignTool(nullptr, parent->Brush);
      c->Brush->ParentTool = parent->Brush;
      c->Brush->OnChange = TToolEvent{BrushChanged, c};
    }
    c->Ctl3D = parent->Ctl3DChildren ? ctl3d : false;
    const int m = parent->Margin;
    c->BoundsRect = RECT{m, m + parent->VerticalOffset, m + 64, m + 64};
  }
  return c;
}

TControl* NewControl(TControl* parent, const std::string& className, DWORD style, bool ctl3d,
                     const TActions* actions) {
  TControl* c = NewWindowed(parent, className, ctl3d);
  c->IsControl = true;
  c->Style = style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (c->Ctl3D) {
    c->Style &= ~static_cast<DWORD>(WS_BORDER);
    c->ExStyle |= WS_EX_CLIENTEDGE;
  }
  c->Visible = (c->Style & WS_VISIBLE) != 0;
  c->TabStop = (c->Style & WS_TABSTOP) != 0;
  if (TControl* form = c->GetParentForm()) {
    if (c->TabStop && !form->CurrentControl) form->CurrentControl = c;
    c->TabOrder = form->NextTabOrder++;
  }
  c->CtlId = gNextCtlId.fetch_add(1);
  if (actions) c->Actions = *actions;
  c->AttachProc(ColorNotifyProc);
  return c;
}

TControl* NewButton(TControl* parent, const std::string& caption) {
  static const TActions actions = ButtonActions();
  TControl* c = NewControl(parent, "BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHLIKE, false, &actions);
  c->BoundsRect.bottom = c->BoundsRect.top + 22;
  c->SetCaption(caption);
  return c;
}

TControl* NewLabel(TControl* parent, const std::string& caption) {
  static const TActions actions = StaticActions();
  TControl* c = NewControl(parent, "STATIC", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP, false,
                           &actions);
  c->BoundsRect.bottom = c->BoundsRect.top + 22;
  c->SetCaption(caption);
  return c;
}

TControl* NewPaintPanel(TControl* parent) {
  TControl* c = NewLabel(parent, "");
  c->BoundsRect.right = c->BoundsRect.left + 40;
  c->BoundsRect.bottom = c->BoundsRect.top + 40;
  return c;
}

TControl* NewEdit(TControl* parent, std::uint32_t options) {
  static const TActions actions = EditActions();
  DWORD style = EditOptionStyles(options) | WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP;
  const bool multiline = (options & kEditOptionMultiline) != 0;
  const bool wantTab = (options & kEditOptionWantTab) != 0;
  if (!multiline) style &= ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL);
  TControl* c = NewControl(parent, "EDIT", style, true, &actions);
  const int size = multiline ? 200 : 0;
  c->BoundsRect.right = c->BoundsRect.left + (multiline ? size : 100);
  c->BoundsRect.bottom = c->BoundsRect.top + (multiline ? size : 22);
  // A multi-line edit keeps the arrows and the page keys; with want-tab a control keeps Tab.
  const std::uint8_t keys = multiline ? kNavTab : kNavTab | kNavUpDown | kNavPageUpDown;
  c->NavKeys = wantTab ? keys & ~kNavTab : keys;
  return c;
}

TControl* NewComboBox(TControl* parent, std::uint32_t options) {
  static const TActions actions = ComboActions();
  DWORD style = ComboOptionStyles(options) | WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_HASSTRINGS;
  if (!(options & kComboOptionList)) style |= CBS_DROPDOWN;
  TControl* c = NewControl(parent, "COMBOBOX", style, true, &actions);
  c->ClassStyle |= CS_DBLCLKS;
  c->BoundsRect.right = c->BoundsRect.left + 100;
  c->BoundsRect.bottom = c->BoundsRect.top + 22;
  // A drop-down list has no caret to move: it leaves Left and Right to the form.
  c->NavKeys = (options & kComboOptionList) ? kNavTab | kNavLeftRight : kNavTab;
  AttachComboProcs(c);
  return c;
}

TControl* NewProgressBar(TControl* parent, std::uint32_t options) {
  InitCommonControls(kAllCommonControlClasses);
  static const TActions actions = ProgressActions();
  TControl* c =
      NewControl(parent, "msctls_progress32", WS_CHILD | WS_VISIBLE | ProgressOptionStyles(options), true, &actions);
  c->BoundsRect.right = c->BoundsRect.left + 300;
  c->BoundsRect.bottom = c->BoundsRect.top + 20;
  c->CtlId = 0;
  c->TextColor = SysColor(COLOR_HIGHLIGHT);
  if (parent) AttachNotifyReflection(parent);
  return c;
}

// ---- Destruction -----------------------------------------------------------------------

TControl::~TControl() {
  const bool live = Handle && !WindowGone;
  if (live) ShowWindow(Handle, SW_HIDE);
  // OnDestroy and the auto-free pairs run before the children go.
  BaseCleanup();
  for (int i = Children->Count - 1; i >= 0; --i) {
    if (i >= Children->Count) continue;
    auto* child = static_cast<TControl*>(Children->Get(i));
    Free(child);
    // A locked child is freed later by whoever holds it: it no longer belongs here.
    if (Children->IndexOf(child) >= 0) {
      Children->Remove(child);
      child->Parent = nullptr;
    }
  }
  Free(Font);
  Font = nullptr;
  Free(Brush);
  Brush = nullptr;
  Free(CanvasObj);
  CanvasObj = nullptr;
  if (Handle && !WindowGone) {
    if (Icon && Icon != reinterpret_cast<HICON>(-1)) {
      SendMessageW(Handle, WM_SETICON, ICON_BIG, 0);
      if (!IconShared) DestroyIcon(Icon);
    }
    DestroyWindow(Handle);
  }
  if (Parent) {
    Parent->Children->Remove(this);
    if (Parent->CurrentControl == this) Parent->CurrentControl = nullptr;
  }
  if (TControl* form = Parent ? GetParentForm() : nullptr) {
    if (form->CurrentControl == this) form->CurrentControl = nullptr;
    if (form->DefaultButton == this) form->DefaultButton = nullptr;
    if (form->CancelButton == this) form->CancelButton = nullptr;
  }
  if (Applet && Applet != this && Applet->CurrentControl == this) Applet->CurrentControl = nullptr;
  DropBkBrush();
  UpdateRgn.Reset();
  Free(Children);
}

// ---- Properties ------------------------------------------------------------------------

std::string TControl::GetCaption() {
  if (Handle && !WindowGone) return WindowText(Handle);
  return Caption;
}

void TControl::SetCaption(const std::string& text) {
  Caption = text.substr(0, text.find('\0'));
  HasCaption = true;
  if (Handle && !WindowGone) {
    SetWindowText1251(Handle, Caption);
    Invalidate();
  }
  if (AutoSizeOn) ApplyAutoSize();
}

RECT TControl::GetBoundsRect() {
  if (!Handle || WindowGone) return BoundsRect;
  RECT r{};
  if (!GetWindowRect(Handle, &r)) return BoundsRect;
  if (IsControl && Parent && Parent->Handle) {
    POINT p[2] = {{r.left, r.top}, {r.right, r.bottom}};
    MapWindowPoints(nullptr, Parent->Handle, p, 2);
    r = RECT{p[0].x, p[0].y, p[1].x, p[1].y};
  }
  BoundsRect = r;
  return r;
}

void TControl::SetBoundsRect(const RECT& r) {
  const RECT old = GetBoundsRect();
  const bool moved = r.left != old.left || r.top != old.top;
  const bool sized = (r.right - r.left) != (old.right - old.left) || (r.bottom - r.top) != (old.bottom - old.top);
  if (moved) PosChanged |= kPosChangedPosition;
  if (sized) PosChanged |= kPosChangedSize;
  BoundsRect = r;
  if (Handle && !WindowGone) {
    int h = r.bottom - r.top;
    // A classic drop-down combo box is given the height of its open list as well.
    if (Actions.Kind == TControlKind::ComboBox) h += kComboListRoom;
    SetWindowPos(Handle, nullptr, r.left, r.top, r.right - r.left, h, SWP_NOACTIVATE | SWP_NOZORDER);
    if (Actions.Kind == TControlKind::Static) Invalidate();
  }
  if (sized && Parent) Parent->AlignChildren();
}

int TControl::Left() { return GetBoundsRect().left; }
int TControl::Top() { return GetBoundsRect().top; }
int TControl::Width() {
  const RECT r = GetBoundsRect();
  return r.right - r.left;
}
int TControl::Height() {
  const RECT r = GetBoundsRect();
  return r.bottom - r.top;
}

void TControl::SetLeft(int v) {
  RECT r = GetBoundsRect();
  r.right += v - r.left;
  r.left = v;
  SetBoundsRect(r);
}

void TControl::SetTop(int v) {
  RECT r = GetBoundsRect();
  r.bottom += v - r.top;
  r.top = v;
  SetBoundsRect(r);
}

void TControl::SetWidth(int v) {
  RECT r = GetBoundsRect();
  r.right = r.left + v;
  SetBoundsRect(r);
}

void TControl::SetHeight(int v) {
  RECT r = GetBoundsRect();
  r.bottom = r.top + v;
  SetBoundsRect(r);
}

void TControl::SetVisible(bool v) {
  Visible = v;
  if (v) {
    Style |= WS_VISIBLE;
  } else {
    Style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  if (Handle && !WindowGone) ShowWindow(Handle, v ? SW_SHOW : SW_HIDE);
  if (Parent) Parent->AlignChildren();
}

void TControl::SetEnabled(bool v) {
  if (Enabled == v) return;
  Enabled = v;
  if (v) {
    Style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    Style |= WS_DISABLED;
  }
  if (Handle && !WindowGone) EnableWindow(Handle, v ? TRUE : FALSE);
}

void TControl::SetColor(std::int32_t c) {
  if (Actions.ColorMsg && Handle && !WindowGone) Perform(Actions.ColorMsg, 0, static_cast<LPARAM>(ResolveColor(c)));
  Color = c;
  DropBkBrush();
  if (Brush) Brush->SetColor(c);
  Invalidate();
}

void TControl::SetTextColor(std::int32_t c) {
  if (Actions.Kind == TControlKind::Progress) {
    if (Perform(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ResolveColor(c))) != 0 || Handle) TextColor = c;
    return;
  }
  if (Font) {
    Font->SetColor(c);
    TextColor = c;
  } else {
    TextColor = c;
  }
  Invalidate();
}

void TControl::SetStyle(DWORD s) {
  Style = s;
  if (!Handle || WindowGone) return;
  SetWindowLongPtrW(Handle, GWL_STYLE, static_cast<LONG_PTR>(s));
  SetWindowPos(Handle, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Invalidate();
}

void TControl::SetExStyle(DWORD s) {
  ExStyle = s;
  if (!Handle || WindowGone) return;
  SetWindowLongPtrW(Handle, GWL_EXSTYLE, static_cast<LONG_PTR>(s));
  SetWindowPos(Handle, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Invalidate();
}

void TControl::SetCtl3D(bool on) {
  Ctl3D = on;
  if (on) {
    SetExStyle(ExStyle | WS_EX_CLIENTEDGE);
    SetStyle(Style & ~static_cast<DWORD>(WS_BORDER));
  } else {
    SetExStyle(ExStyle & ~static_cast<DWORD>(WS_EX_CLIENTEDGE));
    SetStyle(Style | WS_BORDER);
  }
}

void TControl::SetAlign(std::uint8_t a) {
  Align = a;
  if (Parent) Parent->AlignChildren();
}

void TControl::SetTransparent(bool on) {
  // Transparent controls paint with their parent's background: the colour reflection
  // answers with a hollow brush and forms skip their background fill. The double-buffered
  // painting of transparent children is not needed by any element of this program.
  Transparent = on;
  Invalidate();
}

void TControl::SetCursor(HCURSOR c) {
  Cursor = c;
  if (!Handle || WindowGone || !c) return;
  POINT p{};
  if (GetCursorPos(&p) && WindowFromPoint(p) == Handle) ::SetCursor(c);
}

void TControl::SetIcon(HICON icon, bool shared) {
  if (Icon == icon) return;
  HICON old = Icon;
  const bool oldShared = IconShared;
  Icon = icon;
  IconShared = shared;
  if (Handle && !WindowGone) {
    SendMessageW(Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon == reinterpret_cast<HICON>(-1) ? nullptr : icon));
  }
  if (old && old != reinterpret_cast<HICON>(-1) && !oldShared) DestroyIcon(old);
}

void TControl::SetTextAlign(int align) {
  TextAlignValue = align;
  const DWORD s = TextAlignStyle(Actions.Kind, Style, align);
  if (s != Style) SetStyle(s);
  if (AutoSizeOn) ApplyAutoSize();
}

void TControl::SetAutoSize(bool on) {
  AutoSizeOn = on;
  if (on) ApplyAutoSize();
}

void TControl::ApplyAutoSize() {
  const int extraW = AutoSizeExtraWidth(Actions.Kind);
  const int extraH = AutoSizeExtraHeight(Actions.Kind);
  if (extraW == 0 && extraH == 0) return;
  std::string text = GetCaption();
  TCanvas* canvas = Canvas();
  canvas->Font = AssignTool(canvas->Font, GetFont());
  if (canvas->Font->FontStyle() & kFontItalicBit) text += ' ';
  const SIZE ext = canvas->TextExtent(text);
  RECT r = GetBoundsRect();
  if (extraW > 0 && (Align == alNone || Align == alLeft || Align == alRight)) r.right = r.left + ext.cx + extraW;
  if (extraH > 0 && (Align == alNone || Align == alTop || Align == alBottom)) r.bottom = r.top + ext.cy + extraH;
  SetBoundsRect(r);
  if (Parent) Parent->AlignChildren();
  AlignChildren();
}

TGraphicTool* TControl::GetFont() {
  if (!Font) {
    // A copy of the parent's, sharing its GDI object while the two stay equal.
    if (Parent) {
      Font = AssignTool(nullptr, Parent->GetFont());
      Font->ParentTool = Parent->Font;
    } else {
      Font = NewFont();
    }
    Font->SetColor(TextColor);
    Font->OnChange = TToolEvent{FontChanged, this};
  }
  return Font;
}

TGraphicTool* TControl::GetBrush() {
  if (!Brush) {
    if (Parent) {
      Brush = AssignTool(nullptr, Parent->GetBrush());
      Brush->ParentTool = Parent->Brush;
    } else {
      Brush = NewBrush();
    }
    Brush->SetColor(Color);
    Brush->OnChange = TToolEvent{BrushChanged, this};
  }
  return Brush;
}

namespace {

TDeviceContext WindowCanvasDC(TCanvas* canvas) {
  TControl* c = canvas->Owner;
  if (!c || !c->Handle || c->WindowGone) return TDeviceContext();
  if (c->PaintDC) {
    canvas->FromPaint = 1;
    return TDeviceContext::Borrow(c->PaintDC);
  }
  return TDeviceContext::OfWindow(c->Handle);
}

}  // namespace

TCanvas* TControl::Canvas() {
  if (!CanvasObj) {
    CanvasObj = New<TCanvas>();
    CanvasObj->Owner = this;
    CanvasObj->GetDCProc = WindowCanvasDC;
    CanvasObj->Font = AssignTool(nullptr, GetFont());
    CanvasObj->Brush = AssignTool(nullptr, GetBrush());
  }
  return CanvasObj;
}

void TControl::DropBkBrush() {
  BkBrushOwned.Reset();
  BkBrush = nullptr;
}

HBRUSH TControl::BackgroundBrush() {
  if (BrushBackgrounds()) return static_cast<HBRUSH>(GetBrush()->Handle());
  const COLORREF rgb = ResolveColor(Color);
  // The parent's brush while the colours are the same, asked for every time: the parent
  // makes a new one when its own colour changes, and the one given before is gone then.
  if (Parent && Parent->Color == Color) {
    BkBrushOwned.Reset();
    BkBrush = Parent->BackgroundBrush();
    BkBrushColor = rgb;
    return BkBrush;
  }
  if (BkBrushOwned && BkBrushColor != rgb) BkBrushOwned.Reset();
  if (!BkBrushOwned) {
    BkBrushOwned.Reset(CreateSolidBrush(rgb));
    BkBrushColor = rgb;
  }
  BkBrush = BkBrushOwned;
  return BkBrush;
}

// ---- Operations ------------------------------------------------------------------------

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (WindowGone) return 0;
  if (!Handle) CreateHandle();
  if (!Handle) return 0;
  return SendMessageW(Handle, msg, wParam, lParam);
}

TControl* TControl::GetParentForm() {
  TControl* c = this;
  while (c && c->IsControl) c = c->Parent;
  return c;
}

void TControl::Focus() {
  if (IsControl) {
    if (TControl* form = GetParentForm()) form->CurrentControl = this;
    if (!Handle) CreateHandle();
    if (Handle && !WindowGone) SetFocus(Handle);
  } else if (Handle && !WindowGone) {
    SetForegroundWindow(Handle);
  }
}

void TControl::Invalidate() {
  if (AppletTerminated.load() || !Handle || WindowGone) return;
  InvalidateRect(Handle, nullptr, TRUE);
}

RECT TControl::ClientRect() {
  RECT r{0, 0, 0, 0};
  if (Handle && !WindowGone) {
    GetClientRect(Handle, &r);
  } else {
    r.right = BoundsRect.right - BoundsRect.left;
    r.bottom = BoundsRect.bottom - BoundsRect.top;
  }
  r.left += ClientMargins.left;
  r.top += ClientMargins.top;
  r.right -= ClientMargins.right;
  r.bottom -= ClientMargins.bottom;
  return r;
}

void TControl::AlignChildren() {
  if (!Children || Children->Count == 0) return;
  if (GlobalHooks().Alignment) GlobalHooks().Alignment(this);
  std::vector<TAlignChild> items;
  std::vector<TControl*> controls;
  bool any = false;
  for (int i = 0; i < Children->Count; ++i) {
    auto* c = static_cast<TControl*>(Children->Get(i));
    const RECT b = c->GetBoundsRect();
    items.push_back(TAlignChild{c->Align, c->Visible, TRect{b.left, b.top, b.right, b.bottom}});
    controls.push_back(c);
    any = any || (c->Align != alNone && c->Visible);
  }
  if (!any) return;
  const RECT cr = ClientRect();
  ::AlignChildren(TRect{cr.left, cr.top, cr.right, cr.bottom}, Margin, items);
  for (std::size_t i = 0; i < items.size(); ++i) {
    TControl* c = controls[i];
    const TRect& n = items[i].Bounds;
    const RECT old = c->GetBoundsRect();
    if (n.Left == old.left && n.Top == old.top && n.Right == old.right && n.Bottom == old.bottom) continue;
    const bool sized = n.Width() != old.right - old.left || n.Height() != old.bottom - old.top;
    c->BoundsRect = RECT{n.Left, n.Top, n.Right, n.Bottom};
    if (c->Handle && !c->WindowGone) {
      SetWindowPos(c->Handle, nullptr, n.Left, n.Top, n.Width(), n.Height(), SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (sized) c->AlignChildren();
  }
}

void TControl::AttachProc(TWindowProc proc) { AttachProcEx(proc, false); }

void TControl::AttachProcEx(TWindowProc proc, bool runAfterClose) {
  if (IsProcAttached(proc)) return;
  AttachedProcs.push_back(TAttachedProc{proc, runAfterClose});
  Hooks.Attached = AttachedDispatch;
}

bool TControl::IsProcAttached(TWindowProc proc) const {
  for (const TAttachedProc& p : AttachedProcs) {
    if (p.Proc == proc) return true;
  }
  return false;
}

void TControl::DetachProc(TWindowProc proc) {
  for (std::size_t i = 0; i < AttachedProcs.size(); ++i) {
    if (AttachedProcs[i].Proc == proc) {
      AttachedProcs.erase(AttachedProcs.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

bool TControl::IsMainWindow() const {
  if (IsControl) return false;
  if (!AppButtonUsed) return Parent == nullptr;
  if (!Parent) return IsApplet;
  return !Parent->Parent && Parent->Children->Count > 0 && Parent->Children->Get(0) == this;
}

// ---- Lists -----------------------------------------------------------------------------

int TControl::ItemCount() {
  return Actions.ItemCountMsg ? static_cast<int>(Perform(Actions.ItemCountMsg, 0, 0)) : 0;
}

std::string TControl::GetItem(int index) {
  if (!Actions.ItemTextLenMsg || !Actions.ItemTextMsg) return std::string();
  // Edits measure a line by the index of a character in it.
  const WPARAM at = Actions.LineIndexMsg ? static_cast<WPARAM>(Perform(Actions.LineIndexMsg, static_cast<WPARAM>(index), 0))
                                         : static_cast<WPARAM>(index);
  const LRESULT len = Perform(Actions.ItemTextLenMsg, at, 0);
  if (len <= 0) return std::string();
  std::vector<WCHAR> buf(static_cast<std::size_t>(len) + 4, 0);
  // EM_GETLINE reads the buffer's size from its first word.
  buf[0] = static_cast<WCHAR>(len > 0xFFFF ? 0xFFFF : len);
  const LRESULT got = Perform(Actions.ItemTextMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
  if (got <= 0) return std::string();
  return FromWide(buf.data(), static_cast<std::size_t>(got < len ? got : len));
}

void TControl::SetItem(int index, const std::string& text) {
  if (Actions.DeleteItemMsg) {
    const int current = GetItemIndex();
    const LPARAM data = GetItemData(index);
    Delete(index);
    Insert(index, text);
    SetItemData(index, data);
    SetItemIndex(current);
  } else if (Actions.ReplaceSelMsg && Actions.LineIndexMsg) {
    const LRESULT start = Perform(Actions.LineIndexMsg, static_cast<WPARAM>(index), 0);
    if (start < 0) return;
    const LRESULT len = Perform(Actions.ItemTextLenMsg, static_cast<WPARAM>(start), 0);
    Perform(Actions.SetSelMsg, static_cast<WPARAM>(start), static_cast<LPARAM>(start + len));
    const TWideString w = ToWide(text);
    Perform(Actions.ReplaceSelMsg, 0, reinterpret_cast<LPARAM>(w.c_str()));
  }
}

int TControl::Add(const std::string& text) {
  if (Actions.AddItemMsg) {
    const TWideString w = ToWide(text);
    const int index = static_cast<int>(Perform(Actions.AddItemMsg, 0, reinterpret_cast<LPARAM>(w.c_str())));
    if (ItemCount() == 1) SetItemIndex(0);
    return index;
  }
  if (Actions.AddText) {
    Actions.AddText(this, text);
  } else {
    SetCaption(GetCaption() + text);
  }
  return -1;
}

int TControl::Insert(int index, const std::string& text) {
  if (!Actions.InsertItemMsg) return -1;
  const TWideString w = ToWide(text);
  return static_cast<int>(Perform(Actions.InsertItemMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.c_str())));
}

void TControl::Delete(int index) {
  if (Actions.DeleteItemMsg) Perform(Actions.DeleteItemMsg, static_cast<WPARAM>(index), 0);
}

int TControl::GetItemIndex() {
  return Actions.CurIndexMsg ? static_cast<int>(Perform(Actions.CurIndexMsg, 0, 0)) : StoredIndex;
}

void TControl::SetItemIndex(int index) {
  if (Actions.SetIndexMsg) {
    Perform(Actions.SetIndexMsg, static_cast<WPARAM>(index), 0);
  } else {
    StoredIndex = index;
  }
}

LPARAM TControl::GetItemData(int index) {
  return Actions.ItemDataGetMsg ? static_cast<LPARAM>(Perform(Actions.ItemDataGetMsg, static_cast<WPARAM>(index), 0)) : 0;
}

void TControl::SetItemData(int index, LPARAM data) {
  if (Actions.ItemDataSetMsg) Perform(Actions.ItemDataSetMsg, static_cast<WPARAM>(index), data);
}

void TControl::Clear() {
  if (Actions.Clear) Actions.Clear(this);
}

#include "window_elements/kvHintManager.h"

#include <mutex>

#include "window_elements/WindowGate.h"
#include "winlib/Census.h"
#include "winlib/Controls.h"
#include "winlib/Graphics.h"

namespace {

TKvHintManager* gDefault = nullptr;

TKvHintManager* Of(void* manager) { return static_cast<TKvHintManager*>(manager); }

TFontObject MakeFont(const TFontRec& f) {
  LOGFONTW lf{};
  lf.lfHeight = FontHeight(f.Size);
  lf.lfWeight = (f.Style & kFontBold) ? FW_BOLD : FW_DONTCARE;
  lf.lfItalic = (f.Style & kFontItalicBit) ? TRUE : FALSE;
  lf.lfUnderline = (f.Style & kFontUnderlineBit) ? TRUE : FALSE;
  lf.lfStrikeOut = (f.Style & kFontStrikeOutBit) ? TRUE : FALSE;
  lf.lfCharSet = f.CharSet;
  const TWideString face = ToWide(f.Name);
  for (std::size_t i = 0; i < face.size() && i < 31; ++i) lf.lfFaceName[i] = face[i];
  return TFontObject(CreateFontIndirectW(&lf));
}

TTooltipRecord* CreateTip(void* manager, HWND control) {
  TKvHintManager* m = Of(manager);
  auto* r = new TTooltipRecord;
  r->Info.cbSize = sizeof r->Info;
  r->Info.uFlags = TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT;
  r->Info.hwnd = control;
  r->Info.uId = reinterpret_cast<UINT_PTR>(control);
  DWORD style = WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX;
  if (!m->Standard) style |= TTS_BALLOON;
  const TWideString cls = ToWide("tooltips_class32");
  r->Window = CreateWindowExW(WS_EX_TOPMOST, cls.c_str(), nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, control, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!r->Window) return r;
  CensusAdd(TCensusKind::Window);
  r->Font = MakeFont(m->HintFont);
  SendMessageW(r->Window, WM_SETFONT, reinterpret_cast<WPARAM>(r->Font.Get()), TRUE);
  SetWindowPos(r->Window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  SendMessageW(r->Window, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&r->Info));
  SendMessageW(r->Window, TTM_SETTIPTEXTCOLOR, ResolveColor(static_cast<std::int32_t>(m->HintFont.Color)), 0);
  SendMessageW(r->Window, TTM_SETTIPBKCOLOR, ResolveColor(m->HintColor), 0);
  SendMessageW(r->Window, TTM_SETDELAYTIME, TTDT_INITIAL, m->InitialDelay);
  SendMessageW(r->Window, TTM_SETDELAYTIME, TTDT_AUTOPOP, m->AutoPopDelay);
  RECT margin{m->Margin, m->Margin, m->Margin, m->Margin};
  SendMessageW(r->Window, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
  return r;
}

void DestroyTip(void*, TTooltipRecord* r) {
  if (!r) return;
  if (r->Window) {
    // The system destroys a tooltip window together with the window that owns it: when
    // that went first (the windows go before the elements at the program's end), only the
    // font and the count are left to give back. The font is the one made here, not the one
    // the window reports: a tooltip may keep a copy of its own (wine's does).
    if (IsWindow(r->Window)) {
      SendMessageW(r->Window, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&r->Info));
      DestroyWindow(r->Window);
    }
    CensusRemove(TCensusKind::Window);
  }
  delete r;  // and its font
}

void SetTipText(void*, TTooltipRecord* r, const std::string& text) {
  if (!r || !r->Window) return;
  r->Text = ToWide(text);
  r->Info.lpszText = r->Text.data();
  SendMessageW(r->Window, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&r->Info));
}

void SetTipTitle(void*, TTooltipRecord* r, int icon, const std::string& title) {
  if (!r || !r->Window) return;
  r->Title = ToWide(title);
  SendMessageW(r->Window, TTM_SETTITLEW, static_cast<WPARAM>(icon), reinterpret_cast<LPARAM>(r->Title.c_str()));
}

void TipEnter(void* manager, TTooltipRecord* r) {
  if (r && r->Window && Of(manager)->Tracking) SendMessageW(r->Window, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&r->Info));
}

void TipLeave(void* manager, TTooltipRecord* r) {
  if (r && r->Window && Of(manager)->Tracking) SendMessageW(r->Window, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&r->Info));
}

void TipMove(void* manager, TTooltipRecord* r, int x, int y) {
  if (r && r->Window && Of(manager)->Tracking) {
    SendMessageW(r->Window, TTM_TRACKPOSITION, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
  }
}

}  // namespace

TKvHintManager::TKvHintManager() : HintColor(SysColor(COLOR_INFOBK)) {
  SetFontRec(HintFont, "Tahoma", 8, 0, static_cast<std::uint32_t>(SysColor(COLOR_INFOTEXT)), DEFAULT_CHARSET);
  interface_.Manager = this;
  interface_.Create = CreateTip;
  interface_.Destroy = DestroyTip;
  interface_.SetText = SetTipText;
  interface_.SetTitle = SetTipTitle;
  interface_.MouseEnter = TipEnter;
  interface_.MouseLeave = TipLeave;
  interface_.MouseMove = TipMove;
}

TKvHintManager* DefaultHintManager() {
  WindowElementsStartUp();
  return gDefault;
}

void WindowElementsStartUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    InitCommonControls(kAllCommonControlClasses);
    gDefault = New<TKvHintManager>();
    InitWindowGate();
  });
}

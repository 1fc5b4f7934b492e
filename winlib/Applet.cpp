#include "winlib/Applet.h"

#include <cstdlib>

#include "winlib/ControlsInternal.h"

TControl* Applet = nullptr;
std::atomic<int> AppletRunning{0};
std::atomic<bool> AppletTerminated{false};
bool AppButtonUsed = false;
void (*OnIdle)(TControl* window) = nullptr;

namespace {

void TrimSystemMenu(void*, TControl* applet) {
  HMENU menu = GetSystemMenu(applet->Handle, FALSE);
  if (!menu) return;
  EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | MF_GRAYED);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
}

bool AppletProc(TControl* self, TMsg& m, LRESULT& r) {
  // Messages of windows without an object come here too: only the application window's own.
  if (m.hwnd != self->Handle) return false;
  if (m.message == WM_SETFOCUS && self->CurrentControl) {
    TControl* c = self->CurrentControl;
    if (!c->Handle) c->CreateHandle();
    if (c->Handle && !c->WindowGone) SetFocus(c->Handle);
    r = 0;
    return true;
  }
  if (m.message == WM_SYSCOMMAND && (m.wParam & kSysCommandMask) == SC_CLOSE && self->Children->Count > 0) {
    // Closing from the taskbar goes through the main form's close query.
    auto* form = static_cast<TControl*>(self->Children->Get(0));
    if (form->IsMainWindow() && form->Handle) {
      PostMessageW(form->Handle, WM_CLOSE, 0, 0);
      r = 0;
      return true;
    }
  }
  return false;
}

bool FormProc(TControl* self, TMsg& m, LRESULT& r) {
  switch (m.message) {
    case WM_ERASEBKGND: {
      for (int i = 0; i < self->Children->Count; ++i) {
        auto* child = static_cast<TControl*>(self->Children->Get(i));
        if (!child->Handle) child->CreateHandle();
      }
      if (!self->Transparent) {
        HDC dc = reinterpret_cast<HDC>(m.wParam);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, ResolveColor(self->Color));
        SetBrushOrgEx(dc, 0, 0, nullptr);
        RECT cr{};
        GetClientRect(m.hwnd, &cr);
        FillRect(dc, &cr, self->BackgroundBrush());
      }
      r = 1;
      return true;
    }
    case WM_SETFOCUS:
      if (Applet && Applet != self) Applet->CurrentControl = self;
      if (TControl* c = self->CurrentControl) {
        if (!c->Handle) c->CreateHandle();
        if (c->Handle && !c->WindowGone) SetFocus(c->Handle);
        r = 0;
        return true;
      }
      return false;
    case WM_ENDSESSION:
      if (m.wParam) {
        // The session ends: the windows go and the process with them, at once.
        AppletRunning.store(0);
        AppletTerminated.store(true);
        TControl* a = Applet;
        Applet = nullptr;
        Free(a);
        std::exit(0);
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

TControl* NewApplet(const std::string& caption) {
  TControl* a = NewWindowed(nullptr, "App", true);
  a->IsApplet = true;
  a->Style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  a->ExStyle = WS_EX_APPWINDOW;
  a->AfterCreate = TOnEvent{TrimSystemMenu, nullptr};
  a->AttachProc(AppletProc);
  a->SetCaption(caption);
  AppButtonUsed = true;
  if (!Applet) Applet = a;
  InstallPendingDialogKeys();
  return a;
}

TControl* NewForm(TControl* parent, const std::string& caption) {
  TControl* f = NewWindowed(parent, "Form", true);
  f->IsForm = true;
  f->ClassStyle |= CS_DBLCLKS;
  f->AttachProc(FormProc);
  f->SetCaption(caption);
  return f;
}

void Run(TControl*& window) {
  AppletRunning.fetch_add(1);
  Applet = window;
  if (!window) return;
  window->CreateHandle();
  while (!AppletTerminated.load()) {
    WaitMessage();
    ProcessMessages(window);
    if (OnIdle) OnIdle(window);
  }
  Terminate(window);
}

bool ProcessMessage(TControl*) {
  MSG msg{};
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    AppletTerminated.store(true);
  } else {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return msg.message != 0;
}

void ProcessMessages(TControl* window) {
  while (ProcessMessage(window)) {
  }
}

void Terminate(TControl*& window) {
  const bool wasTerminating = AppletTerminated.exchange(true);
  AppletRunning.store(0);
  TControl* a = Applet;
  Applet = nullptr;
  if (!a) return;
  Lock(a);
  if (!wasTerminating) {
    ProcessMessages(a);
    if (a->Handle && !a->WindowGone) SendMessageW(a->Handle, WM_CLOSE, 0, 0);
  }
  window = nullptr;
  Free(a);
  Unlock(a);
  ReleaseWindowLibrary();
}

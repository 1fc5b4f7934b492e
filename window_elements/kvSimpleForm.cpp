#include "window_elements/kvSimpleForm.h"

#include <map>
#include <mutex>

#include "window_elements/FormStyles.h"
#include "window_elements/WindowGate.h"
#include "winlib/Applet.h"

namespace {

// The forms whose start hook has not run yet, by their hook's number.
std::mutex gStartMutex;
std::map<std::uintptr_t, TKvSimpleForm*> gStarting;
std::uintptr_t gNextStartId = 1;

}  // namespace

TKvSimpleForm::TKvSimpleForm() : TKvSimpleWin(nullptr) {
  if (!Applet) NewApplet("");
  control_ = NewForm(Applet, "Form");
  winbase::WatchControl(control_, this);
  control_->SetVisible(false);
  {
    std::lock_guard<std::mutex> lock(gStartMutex);
    startId_ = gNextStartId++;
    gStarting[startId_] = this;
  }
  AddStartHook(StartUp, reinterpret_cast<void*>(startId_));
}

TKvSimpleForm::~TKvSimpleForm() {
  // Freed before Run: the hook stays registered and must find no form.
  std::lock_guard<std::mutex> lock(gStartMutex);
  gStarting.erase(startId_);
}

void TKvSimpleForm::SetCaption(const std::string& caption) {
  if (control_) control_->SetCaption(caption);
  if (Applet) Applet->SetCaption(caption);
}

void TKvSimpleForm::SetBorderStyle(int value) {
  if (!control_) return;
  const TFormStyles s = FormBorderStyles(value, TFormStyles{control_->Style, control_->ExStyle});
  if (s.Style != control_->Style) control_->SetStyle(s.Style);
  if (s.ExStyle != control_->ExStyle) control_->SetExStyle(s.ExStyle);
}

void TKvSimpleForm::SetIcon(HICON icon) {
  if (Applet) Applet->SetIcon(icon);
  if (control_) control_->SetIcon(icon);
}

void TKvSimpleForm::SetTaskbarButton(int value) {
  if (value == 1 && Applet) Applet->SetExStyle(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME);
}

void TKvSimpleForm::Init() {
  // The form is not shown before the program starts running.
  const bool visible = Visible;
  Visible = false;
  TKvSimpleWin::Init();
  Visible = visible;
}

void TKvSimpleForm::Run() {
  if (Applet) Applet->SetVisible(Visible);
  EventsOn();
  RunStartHooks();
}

void TKvSimpleForm::StartUp(void* id) {
  TKvSimpleForm* f = nullptr;
  {
    std::lock_guard<std::mutex> lock(gStartMutex);
    auto it = gStarting.find(reinterpret_cast<std::uintptr_t>(id));
    if (it == gStarting.end()) return;
    f = it->second;
    gStarting.erase(it);
  }
  FireWindowNull(f->onCreate);
  if (f->control_) f->control_->SetVisible(f->Visible);
}

void TKvSimpleForm::doClose(TData&, std::uint16_t) {
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c] {
    if (c->Handle && !c->WindowGone) SendMessageW(c->Handle, WM_CLOSE, 0, 1);
  });
}

void TKvSimpleForm::MouseDown(const TMouseEventData& m) {
  if (DragForm && control_ && control_->Handle) {
    ReleaseCapture();
    // The system drags the window as if its caption had been grabbed.
    SendMessageW(control_->Handle, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
  }
  TKvSimpleWin::MouseDown(m);
}

bool TKvSimpleForm::MessageFilter(TMsg& msg, LRESULT& result) {
  if (!control_) return false;
  switch (msg.message) {
    case WM_MOVE:
      if (Applet && Applet->Handle && !Applet->WindowGone) {
        RECT r{};
        GetWindowRect(msg.hwnd, &r);
        SetWindowPos(Applet->Handle, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    case WM_SIZE:
      if (Applet && Applet->Handle && !Applet->WindowGone) {
        RECT form{}, app{};
        GetWindowRect(msg.hwnd, &form);
        GetWindowRect(Applet->Handle, &app);
        SetWindowPos(Applet->Handle, nullptr, 0, 0, form.right - form.left, app.bottom - app.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    case WM_CLOSE: {
      TWindowEvent entry;
      if (msg.lParam == 0 && CloseLock.Connected()) {
        TData lock;
        ReadPoint(CloseLock, lock);
        if (lock.DataKind == kindInteger && lock.IntValue != 0) {
          result = 0;
          return true;
        }
      }
      // From now on no element's output reaches anything: events that a reader or timer
      // thread fires later go nowhere.
      FireNull(onClose);
      EventsOff();
      return false;
    }
    default:
      break;
  }
  return TKvSimpleWin::MessageFilter(msg, result);
}

#include "window_elements/kvEdit.h"

#include "window_elements/WindowGate.h"

namespace {

// Posted to the field's window when another thread gave it a new text.
constexpr UINT kApplyTextMessage = 0xBFE0;

}  // namespace

TKvEdit::TKvEdit(TControl* parent) : TKvWin(parent) { TextReader = TTextReader{ReadControlText, this}; }

bool TKvEdit::OnWindowThread() const {
  const HWND wnd = control_ ? control_->Handle : nullptr;
  return !wnd || GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId();
}

bool TKvEdit::ReadControlText(void* self, std::string& text) {
  auto* e = static_cast<TKvEdit*>(self);
  TControl* c = e->Control();
  if (!c) return false;
  if (e->OnWindowThread()) {
    const std::string shown = c->GetCaption();
    std::lock_guard<std::mutex> lock(e->textMutex_);
    // A text handed over by another thread that the control has not got is the newer one.
    text = e->waiting_ ? e->known_ : shown;
    return true;
  }
  std::lock_guard<std::mutex> lock(e->textMutex_);
  text = e->known_;
  return true;
}

void TKvEdit::Init() {
  std::uint32_t options = 0;
  if (Password) options |= kEditOptionPassword;
  if (ReadOnly) options |= kEditOptionReadOnly;
  control_ = NewEdit(ParentControl(), options);
  control_->SetTextAlign(TextAlign);
  TKvWin::Init();
  control_->OnChange = TOnEvent{[](void* d, TControl*) { static_cast<TKvEdit*>(d)->Changed(); }, this};
  control_->SetCaption(Text);
  lastText_ = Text;
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    known_ = Text;
    if (control_->Handle) shown_ = (GetWindowLongPtrW(control_->Handle, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  // Without a window yet, setting the text made no change notification: the first real
  // change must not be taken for it.
  if (!control_->Handle) changeArmed_ = true;
}

void TKvEdit::Changed() {
  if (control_) {
    const std::string shown = control_->GetCaption();
    std::lock_guard<std::mutex> lock(textMutex_);
    if (!waiting_) known_ = shown;
  }
  std::string text;
  if (changeArmed_ && TextReader.Proc && TextReader.Proc(TextReader.Object, text)) FireWindowString(onChange, text);
  changeArmed_ = true;
}

void TKvEdit::KeyDown(int& key, DWORD shift) {
  if (key != VK_RETURN || !onEnter.Connected()) {
    TKvWin::KeyDown(key, shift);
    return;
  }
  std::string text;
  if (TextReader.Proc && TextReader.Proc(TextReader.Object, text)) {
    enterPending_ = true;
    FireWindowString(onEnter, text);
    if (enterPending_ && control_) {
      // No new text was set by the handler: the field empties itself, silently.
      changeArmed_ = false;
      control_->SetCaption("");
    }
  }
  key = 0;
}

void TKvEdit::doText(TData& d, std::uint16_t) {
  const std::string text = ReadString(d, TextPoint, "");
  TControl* c = control_;
  if (!c) return;
  if (OnWindowThread()) {
    {
      std::lock_guard<std::mutex> lock(textMutex_);
      known_ = text;
      waiting_ = false;  // this text is newer than any that waits
    }
    ApplyText(text);
    return;
  }
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    known_ = text;
    waiting_ = true;
    // One request at a time: the window thread shows the newest text when it gets to it.
    post = shown_ && !posted_;
    if (post) posted_ = true;
  }
  if (post && !PostMessageW(c->Handle, kApplyTextMessage, 0, 0)) {
    std::lock_guard<std::mutex> lock(textMutex_);
    posted_ = false;
  }
}

void TKvEdit::ApplyWaitingText() {
  // Not from the messages that giving a text causes: another thread may hand over texts
  // faster than they are given, and the next one comes in its turn.
  if (applying_) return;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    if (!waiting_) return;
    text = known_;
    waiting_ = false;
  }
  ApplyText(text);
}

void TKvEdit::SetShown(bool shown) {
  std::lock_guard<std::mutex> lock(textMutex_);
  shown_ = shown;
}

void TKvEdit::ApplyText(const std::string& text) {
  TControl* c = control_;
  if (!c) return;
  const bool outer = applying_;
  applying_ = true;
  DWORD start = 0;
  const bool live = c->Handle && !c->WindowGone;
  if (live) SendMessageW(c->Handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  c->SetCaption(text);
  if (live) SendMessageW(c->Handle, EM_SETSEL, start, static_cast<LPARAM>(start));
  applying_ = outer;
  enterPending_ = false;
}

bool TKvEdit::MessageFilter(TMsg& msg, LRESULT& result) {
  switch (msg.message) {
    case kApplyTextMessage: {
      {
        std::lock_guard<std::mutex> lock(textMutex_);
        posted_ = false;
      }
      ApplyWaitingText();
      result = 0;
      return true;
    }
    case WM_DESTROY:
    case WM_NCDESTROY:
      // A window on its way out gets no text (the change it would report runs no scheme).
      return TKvWin::MessageFilter(msg, result);
    case WM_SHOWWINDOW:
      if (msg.lParam == 0) SetShown(msg.wParam != 0);  // not an owner's show or hide
      break;
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(msg.lParam);
      if (pos && (pos->flags & SWP_SHOWWINDOW)) SetShown(true);
      if (pos && (pos->flags & SWP_HIDEWINDOW)) SetShown(false);
      break;
    }
    case WM_STYLECHANGED:
      if (static_cast<int>(msg.wParam) == GWL_STYLE && msg.lParam)
        SetShown((reinterpret_cast<const STYLESTRUCT*>(msg.lParam)->styleNew & WS_VISIBLE) != 0);
      break;
    default:
      break;
  }
  // Whatever the window is asked or told now (its text, by anyone; being shown; a key), it
  // has the newest text first.
  ApplyWaitingText();
  return TKvWin::MessageFilter(msg, result);
}

void TKvEdit::getText(TData& d, std::uint16_t) {
  std::string text;
  if (TextReader.Proc && TextReader.Proc(TextReader.Object, text)) {
    SetString(d, text);
  } else {
    SetNull(d);
  }
}

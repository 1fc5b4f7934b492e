#include "window_elements/kvEdit.h"

#include "window_elements/WindowGate.h"

TKvEdit::TKvEdit(TControl* parent) : TKvWin(parent) { TextReader = TTextReader{ReadControlText, this}; }

bool TKvEdit::ReadControlText(void* self, std::string& text) {
  TControl* c = static_cast<TKvEdit*>(self)->Control();
  if (!c) return false;
  bool ok = false;
  winbase::OnWindowThread(c, [&] {
    text = c->GetCaption();
    ok = true;
  });
  return ok;
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
  // Without a window yet, setting the text made no change notification: the first real
  // change must not be taken for it.
  if (!control_->Handle) changeArmed_ = true;
}

void TKvEdit::Changed() {
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
  winbase::OnWindowThread(c, [this, c, &text] {
    DWORD start = 0;
    const bool live = c->Handle && !c->WindowGone;
    if (live) SendMessageW(c->Handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    c->SetCaption(text);
    if (live) SendMessageW(c->Handle, EM_SETSEL, start, static_cast<LPARAM>(start));
    enterPending_ = false;
  });
}

void TKvEdit::getText(TData& d, std::uint16_t) {
  std::string text;
  if (TextReader.Proc && TextReader.Proc(TextReader.Object, text)) {
    SetString(d, text);
  } else {
    SetNull(d);
  }
}

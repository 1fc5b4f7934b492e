// A single-line text field.
//
// Points: input doText (the text; data point TextPoint, empty default: replaces the whole
// text keeping the caret where it was); outputs onEnter (the text, when Enter is pressed and
// onEnter is connected; the field then empties itself unless the handler set a text) and
// onChange (the text, on each change but the first one after Init and the self-emptying);
// data output getText (the field's current text); inputs and outputs of TKvWin.
//
// Threads: doText and getText may come from any thread. The element keeps the text it
// knows (what it set, or what the user typed) beside the control: another thread reads
// that copy and hands new texts to the window thread without waiting for it (the upload
// stores and reads back the checksum text for every image byte from the reader thread;
// a round trip to the window thread for each would make the window fall behind the line).
// A shown field is sent the newest text, one request on its way at a time. A hidden field
// is left alone: the text waits in the element until the field is shown or gets any other
// message, and whatever the window is asked then (WM_GETTEXT from another process too)
// already has the newest text. Giving a text to an edit control costs the window thread
// several calls into the window system (under wine each a round trip to its server), which
// for a field nobody sees would only compete with the upload.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "window_elements/Win.h"

class TKvEdit : public TKvWin {
 public:
  explicit TKvEdit(TControl* parent);

  // How getText produces its value: true with the text, false for nothing (null).
  struct TTextReader {
    bool (*Proc)(void* object, std::string& text) = nullptr;
    void* Object = nullptr;
  };

  TTextReader TextReader;
  bool Password = false;
  std::string Text;  // initial text
  bool ReadOnly = false;
  std::uint8_t TextAlign = 0;

  TEventPoint TextPoint;
  TEventPoint onEnter;
  TEventPoint onChange;

  void doText(TData& d, std::uint16_t index);
  void getText(TData& d, std::uint16_t index);

  void Init() override;
  void KeyDown(int& key, DWORD shift) override;
  bool MessageFilter(TMsg& msg, LRESULT& result) override;

  // The element's own text reader: the control's current text.
  static bool ReadControlText(void* self, std::string& text);

 protected:
  ~TKvEdit() override = default;

 private:
  void Changed();
  // On the window thread: the new text, the caret kept where it was.
  void ApplyText(const std::string& text);
  // On the window thread: the text that waits, if one does.
  void ApplyWaitingText();
  void SetShown(bool shown);
  bool OnWindowThread() const;

  std::mutex textMutex_;     // guards known_, waiting_, posted_ and shown_
  std::string known_;        // the text as the element knows it
  bool waiting_ = false;     // known_ is newer than the control's text
  bool posted_ = false;      // a request to apply it is on its way to the window thread
  bool shown_ = true;        // the control has WS_VISIBLE: a new text is sent to it at once
  bool applying_ = false;    // the window thread is giving the control a text
  std::string lastText_;
  bool changeArmed_ = false;
  bool enterPending_ = false;
};

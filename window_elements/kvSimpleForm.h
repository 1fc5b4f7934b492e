// The program's main window as an element: owns the top-level form control, keeps the
// library's application window in step with it (caption, icon, position, width,
// visibility), chooses the window kind, lets the user drag the window by its client area,
// signals the start (onCreate) and the end (onClose) of the program, and switches the
// scheme's events on when the program starts running and off when the window closes.
//
// Points: inputs doEnabled, doClose (a close that CloseLock cannot stop); outputs onCreate,
// onClose and those of TKvSimpleWin; data point CloseLock (a non-zero integer answer keeps
// the window open when the user or the system closes it).
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/SimpleWin.h"

class TKvSimpleForm : public TKvSimpleWin {
 public:
  TKvSimpleForm();

  bool DragForm = false;
  TEventPoint onCreate;
  TEventPoint onClose;
  TEventPoint CloseLock;

  // Operations the scheme calls to set the properties.
  void SetCaption(const std::string& caption);
  void SetBorderStyle(int value);
  void SetIcon(HICON icon);
  void SetTaskbarButton(int value);

  void doClose(TData& d, std::uint16_t index);

  void Init() override;
  // Shows the application window, switches the events on and runs the start hooks (which
  // fire onCreate and show the form).
  void Run();

  void MouseDown(const TMouseEventData& m) override;
  bool MessageFilter(TMsg& msg, LRESULT& result) override;

 protected:
  ~TKvSimpleForm() override;

 private:
  // The start hook names the form by a number that no later form reuses: the hook of a
  // form freed before Run finds no form and runs nothing.
  static void StartUp(void* id);

  std::uintptr_t startId_ = 0;
};

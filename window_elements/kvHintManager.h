// The hint manager: makes and drives the tooltip windows of the windowed elements. One
// default manager is created when the window elements start up; an element whose Hint is
// not empty asks it, at hook-up time, for a tooltip through the hint interface, a record
// of seven operations that the elements call without knowing the manager.
#pragma once

#include <cstdint>
#include <string>

#include "platform/winsys.h"
#include "runtime/Share.h"
#include "winlib/GdiOwners.h"
#include "winlib/Objects.h"
#include "winlib/WinText.h"

// One tooltip: the tool description and the tooltip window.
struct TTooltipRecord {
  TTTOOLINFOW Info{};
  HWND Window = nullptr;
  TFontObject Font;  // the font made for it (given back even when the window went first)
  TWideString Text;   // what Info.lpszText points at
  TWideString Title;
};

struct THintInterface {
  void* Manager = nullptr;
  TTooltipRecord* (*Create)(void* manager, HWND control) = nullptr;
  void (*Destroy)(void* manager, TTooltipRecord* record) = nullptr;
  void (*SetText)(void* manager, TTooltipRecord* record, const std::string& text) = nullptr;
  void (*SetTitle)(void* manager, TTooltipRecord* record, int icon, const std::string& title) = nullptr;
  void (*MouseEnter)(void* manager, TTooltipRecord* record) = nullptr;
  void (*MouseLeave)(void* manager, TTooltipRecord* record) = nullptr;
  void (*MouseMove)(void* manager, TTooltipRecord* record, int x, int y) = nullptr;
};

class TKvHintManager : public TObj {
 public:
  TKvHintManager();

  // Settings.
  std::int32_t HintColor;   // tooltip background
  bool Standard = true;     // false: balloon tooltips
  int InitialDelay = 500;   // ms
  int AutoPopDelay = 5000;  // ms
  int Margin = 0;           // pixels on all four sides
  bool Tracking = false;    // tooltips that follow the mouse
  TFontRec HintFont;        // its colour is the text colour

  const THintInterface& Interface() const { return interface_; }

 protected:
  ~TKvHintManager() override = default;

 private:
  THintInterface interface_;
};

// The default manager, made at the start-up of the window elements.
TKvHintManager* DefaultHintManager();
// Start-up of the window elements (common controls, the default manager, the window
// thread's gate signal); runs once, at the first windowed element.
void WindowElementsStartUp();

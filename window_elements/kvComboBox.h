// The drop-down box: in this program the list of serial ports. Ports arrive one by one
// through doAdd; a choice fires onClick with the port's name.
//
// Points: those of TKvWinList and TKvWin.
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/LWinList.h"

class TKvComboBox : public TKvLWinList {
 public:
  explicit TKvComboBox(TControl* parent) : TKvLWinList(parent) {}

  std::string Text;       // initial text of the edit part
  std::string Strings;    // initial items, one per line
  bool Editable = true;   // a drop-down with an edit part, else a drop-down list
  bool Sort = false;
  int ItemHeight = 0;     // the item height reported for items drawn by the owner
  void* IndexManager = nullptr;  // companions for items drawn by the owner (none here)
  void* IconManager = nullptr;
  void* DrawManager = nullptr;

  void Init() override;
  void BeginUpdate(const std::string& text) override;

 protected:
  ~TKvComboBox() override = default;
};

// The base of the elements that show a list of text items.
//
// Points: inputs doAdd (the text, data point AddTextPoint, empty default; then an optional
// item integer, data point AddDataPoint), doClear, doSelect (an index; out of range
// selects nothing), doReplace (an index, then the text); output onClick (the selected
// item's text, or its index, with the item's integer chained behind unless it is -1);
// data output getItems (all items, each followed by CR LF, the last CR LF dropped when
// the last item is not empty); inputs and outputs of TKvWin.
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/Win.h"
#include "winlib/StrStreams.h"

class TKvWinList : public TKvWin {
 public:
  explicit TKvWinList(TControl* parent);

  std::uint8_t AddType = 0;      // 0: append; 1: insert at the top
  bool SelectAdded = false;      // select the item doAdd just added
  std::uint8_t SelectKind = 0;   // 1: onClick carries the item's text, else its index
  TEventPoint AddTextPoint;
  TEventPoint AddDataPoint;
  TEventPoint onClick;

  void doAdd(TData& d, std::uint16_t index);
  void doClear(TData& d, std::uint16_t index);
  void doSelect(TData& d, std::uint16_t index);
  void doReplace(TData& d, std::uint16_t index);
  void getItems(TData& d, std::uint16_t index);

  // The list operations (window thread).
  virtual void CollectItems();
  virtual void FillFromText(const std::string& text);
  virtual void BeginUpdate(const std::string& text);
  virtual void EndUpdate();
  virtual int AddItem(const std::string& text);
  virtual void SelectIndex(int index);
  virtual void ReplaceItem(int index, const std::string& text);
  virtual void ClearItems();
  virtual std::string AllText();

 protected:
  ~TKvWinList() override;
  // The selection changed (window thread).
  void Selected();

  TStrList* workList_;
};

#include "window_elements/LWinList.h"

void TKvLWinList::FillFromText(const std::string& text) {
  BeginUpdate(text);
  workList_->SetText(text, false);
  for (int i = 0; i < workList_->Count; ++i) AddItem(workList_->Get(i));
  workList_->Clear();
  EndUpdate();
}

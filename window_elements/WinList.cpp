#include "window_elements/WinList.h"

#include "window_elements/WindowGate.h"
#include "winlib/WinText.h"

TKvWinList::TKvWinList(TControl* parent) : TKvWin(parent), workList_(NewStrList()) {}

TKvWinList::~TKvWinList() { Free(workList_); }

void TKvWinList::CollectItems() {
  workList_->Clear();
  if (!control_) return;
  const int n = control_->ItemCount();
  for (int i = 0; i < n; ++i) workList_->Add(control_->GetItem(i));
}

void TKvWinList::FillFromText(const std::string&) {}

void TKvWinList::BeginUpdate(const std::string&) {
  if (!control_) return;
  control_->Perform(WM_SETREDRAW, FALSE, 0);
  ClearItems();
}

void TKvWinList::EndUpdate() {
  if (!control_) return;
  control_->Perform(WM_SETREDRAW, TRUE, 0);
  control_->Invalidate();
}

int TKvWinList::AddItem(const std::string& text) {
  if (!control_) return -1;
  // The plain add message: no item is selected by itself.
  if (const UINT msg = control_->Actions.AddItemMsg) {
    const TWideString w = ToWide(text);
    return static_cast<int>(control_->Perform(msg, 0, reinterpret_cast<LPARAM>(w.c_str())));
  }
  return control_->Add(text);
}

void TKvWinList::SelectIndex(int index) {
  if (control_) control_->SetItemIndex(index);
}

void TKvWinList::ReplaceItem(int index, const std::string& text) {
  if (control_) control_->SetItem(index, text);
}

void TKvWinList::ClearItems() {
  if (control_) control_->Clear();
}

std::string TKvWinList::AllText() {
  CollectItems();
  std::string text;
  for (int i = 0; i < workList_->Count; ++i) text += workList_->Get(i) + "\r\n";
  if (workList_->Count > 0 && !workList_->Get(workList_->Count - 1).empty()) text.resize(text.size() - 2);
  return text;
}

void TKvWinList::doAdd(TData& d, std::uint16_t) {
  const std::string text = ReadString(d, AddTextPoint, "");
  TData item;
  ReadValue(d, AddDataPoint, nullptr, item);
  const bool hasItemData = item.DataKind != kindNull && item.DataKind != kindBreak;
  const std::int32_t itemData = AsInteger(item);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [&] {
    int index = -1;
    if (AddType == 1) {
      index = c->Insert(0, text);
      // A kind of control without an insert message: the text goes on top of the old one.
      if (index == -1) c->SetCaption(text + "\r\n" + c->GetCaption());
    } else {
      index = AddItem(text);
    }
    if (SelectAdded) SelectIndex(index);
    if (hasItemData) c->SetItemData(index, itemData);
  });
}

void TKvWinList::doClear(TData&, std::uint16_t) {
  if (TControl* c = control_) winbase::OnWindowThread(c, [this] { ClearItems(); });
}

void TKvWinList::doSelect(TData& d, std::uint16_t) {
  const std::int32_t index = AsInteger(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [this, c, index] { SelectIndex(index >= 0 && index < c->ItemCount() ? index : -1); });
}

void TKvWinList::doReplace(TData& d, std::uint16_t) {
  const std::int32_t index = ReadInteger(d, TEventPoint{}, 0);
  const std::string text = ReadString(d, TEventPoint{}, "");
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [&] {
    if (index >= 0 && index < c->ItemCount()) ReplaceItem(index, text);
  });
}

void TKvWinList::getItems(TData& d, std::uint16_t) {
  TControl* c = control_;
  std::string text;
  if (c) winbase::OnWindowThread(c, [&] { text = AllText(); });
  SetString(d, text);
}

void TKvWinList::Selected() {
  if (!control_) return;
  const int index = control_->GetItemIndex();
  TData value;
  if (SelectKind == 1) {
    SetString(value, control_->GetItem(index));
  } else {
    SetInteger(value, index);
  }
  // The item's integer rides behind the value (the chain node lives here, on the stack).
  TData second;
  const LPARAM itemData = control_->GetItemData(index);
  if (itemData != -1) {
    SetInteger(second, static_cast<std::int32_t>(itemData));
    value.Next = &second;
  }
  FireWindowEvent(onClick, value);
}

#include "window_elements/kvComboBox.h"

#include "winlib/WinText.h"

void TKvComboBox::Init() {
  std::uint32_t options = 0;
  if (!Editable) options |= kComboOptionList;
  if (Sort) options |= kComboOptionSort;
  const bool ownerDraw = (Flags & kWinFlagOwnerDraw) != 0;
  if (ownerDraw) options |= kComboOptionOwnerDraw;
  control_ = NewComboBox(ParentControl(), options);
  control_->OnMeasureItem = TOnMeasureItem{
      [](void* d, TControl*, MEASUREITEMSTRUCT& item) { item.itemHeight = static_cast<UINT>(static_cast<TKvComboBox*>(d)->ItemHeight); },
      this};
  TKvWin::Init();
  FillFromText(Strings);
  control_->SetCaption(Text);
  control_->OnSelChange = TOnEvent{[](void* d, TControl*) { static_cast<TKvComboBox*>(d)->Selected(); }, this};
  if (ownerDraw) {
    control_->OnDrawItem = TOnDrawItem{[](void*, TControl* c, const DRAWITEMSTRUCT& item) {
                                         if (item.itemID == static_cast<UINT>(-1)) return;
                                         const TWideString text = ToWide(c->GetItem(static_cast<int>(item.itemID)));
                                         RECT r = item.rcItem;
                                         FillRect(item.hDC, &r, GetSysColorBrush((item.itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
                                         SetBkMode(item.hDC, TRANSPARENT);
                                         DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
                                                   DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
                                       },
                                       nullptr};
  }
}

void TKvComboBox::BeginUpdate(const std::string& text) {
  TKvLWinList::BeginUpdate(text);
  if (!control_) return;
  int lines = text.empty() ? 0 : 1;
  for (char ch : text) {
    if (ch == '\r') ++lines;
  }
  control_->Perform(CB_INITSTORAGE, static_cast<WPARAM>(lines), static_cast<LPARAM>(text.size() * sizeof(WCHAR)));
}

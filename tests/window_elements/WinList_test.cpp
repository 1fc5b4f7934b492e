// The list elements through the combo box: adding (order, insert at the top, selecting the
// added item, the item integer), clearing, selecting (out of range selects nothing),
// replacing, the items data output, the fill from Strings with redraw off, the options, and
// a choice in the drop-down firing onClick with the item's text or index and its integer.
#include <gtest/gtest.h>

#include <optional>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvComboBox.h"

namespace {

using namespace zorv::test;

using ComboBox = FormFixture;

TKvComboBox* Box(TKvComboBox* c) {
  c->Left = 10;
  c->Top = 10;
  c->Width = 85;
  c->Height = 24;
  c->Color = SysColor(COLOR_WINDOW);
  c->SelectKind = 1;
  return c;
}

std::vector<std::string> Items(HWND combo) {
  std::vector<std::string> out;
  const int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    const int len = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0));
    std::vector<WCHAR> buf(static_cast<std::size_t>(len) + 1);
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf.data()));
    out.push_back(FromWide(buf.data(), static_cast<std::size_t>(len)));
  }
  return out;
}

int CurSel(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

void AddItem(TKvComboBox* c, const std::string& text) {
  TData d = StrData(text);
  c->doAdd(d, 0);
}

void AddItem(TKvComboBox* c, const std::string& text, std::int32_t item) {
  TData d = StrData(text);
  TData second = IntData(item);
  d.Next = &second;
  c->doAdd(d, 0);
}

// What onClick carried: the value and the integer chained behind it (if any).
struct ChainSink {
  std::vector<TData> first;
  std::vector<std::optional<std::int32_t>> second;
  void doIt(TData& d, std::uint16_t) {
    TData f = d;
    f.Next = nullptr;
    first.push_back(f);
    second.push_back(d.Next ? std::optional<std::int32_t>(AsInteger(*d.Next)) : std::nullopt);
  }
  TEventPoint Point() { return MakePoint<&ChainSink::doIt>(0, this); }
};

// The user chooses an item in the open drop-down: natively the headless user's choice,
// under wine real mouse input (a click on the arrow, then on the item in the open list).
bool UserChoose(HWND combo, int index) {
#ifdef _WIN32
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(combo, &info)) return false;
  RECT r = ScreenRect(combo);
  RECT list{};
  GetWindowRect(info.hwndItem ? info.hwndItem : combo, &list);
  const int centreY = (r.top + (info.rcButton.bottom > 0 ? info.rcButton.bottom : 20) / 2);
  RealClickAt(POINT{r.right - 8, centreY});
  if (!PumpUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }, 10000)) return false;
  RECT item;
  if (SendMessageW(info.hwndList, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR) return false;
  POINT p{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ClientToScreen(info.hwndList, &p);
  RealClickAt(p);
  if (!PumpUntil([&] { return !SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0); }, 10000)) return false;
  PumpFor(200);
  return true;
#else
  const bool ok = zorv::headless::ChooseComboItem(combo, index);
  Pump();
  return ok;
#endif
}

TEST_F(ComboBox, PortsAddedOneByOneKeepTheirOrderAndNoneIsSelected) {
  form->Init();
  auto* c = Box(Make<TKvComboBox>());
  c->Init();
  // The program adds the ports from onCreate, before the loop has made the windows.
  form->onCreate = MakePoint(0, [](void* t, TData&, std::uint16_t) {
    auto* box = static_cast<TKvComboBox*>(t);
    for (const char* p : {"COM3", "COM1", "COM10"}) AddItem(box, p);
  }, c);
  Start();
  HWND w = c->Control()->Handle;
  EXPECT_EQ(Items(w), (std::vector<std::string>{"COM3", "COM1", "COM10"}));
  EXPECT_EQ(CurSel(w), -1);
  EXPECT_EQ(TextOf(w), "");
  AddItem(c, "COM2");  // and one more on the live window
  EXPECT_EQ(Items(w), (std::vector<std::string>{"COM3", "COM1", "COM10", "COM2"}));
  EXPECT_EQ(CurSel(w), -1);
  TData d;
  c->getItems(d, 0);
  EXPECT_EQ(d.StrValue, "COM3\r\nCOM1\r\nCOM10\r\nCOM2");
}

TEST_F(ComboBox, AddAtTheTopSelectTheAddedAndItemIntegers) {
  form->Init();
  auto* c = Box(Make<TKvComboBox>());
  c->AddType = 1;
  c->SelectAdded = true;
  c->Init();
  Start();
  HWND w = c->Control()->Handle;
  AddItem(c, "b", 7);
  AddItem(c, "a");
  EXPECT_EQ(Items(w), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(CurSel(w), 0);
  EXPECT_EQ(SendMessageW(w, CB_GETITEMDATA, 1, 0), 7);
  c->AddType = 0;
  AddItem(c, "c", -1);
  EXPECT_EQ(Items(w), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(CurSel(w), 2);
  // Through the data points, with the empty default.
  Source text = Source::String("d");
  Source item = Source::Integer(12);
  c->AddTextPoint = text.Point();
  c->AddDataPoint = item.Point();
  TData none;
  c->doAdd(none, 0);
  EXPECT_EQ(Items(w).back(), "d");
  EXPECT_EQ(SendMessageW(w, CB_GETITEMDATA, 3, 0), 12);
}

TEST_F(ComboBox, SelectReplaceClearAndTheItemsText) {
  form->Init();
  auto* c = Box(Make<TKvComboBox>());
  c->Strings = "COM1\r\nCOM2\r\nCOM3";
  c->Init();
  ChainSink clicks;
  c->onClick = clicks.Point();
  Start();
  HWND w = c->Control()->Handle;
  EXPECT_EQ(Items(w), (std::vector<std::string>{"COM1", "COM2", "COM3"}));
  TData i = IntData(2);
  c->doSelect(i, 0);
  EXPECT_EQ(CurSel(w), 2);
  for (int bad : {3, -1, 1000, -5}) {
    SCOPED_TRACE(bad);
    TData sel = IntData(1);
    c->doSelect(sel, 0);
    TData out = IntData(bad);
    c->doSelect(out, 0);
    EXPECT_EQ(CurSel(w), -1) << "an index out of range selects nothing";
  }
  Pump();
  EXPECT_TRUE(clicks.first.empty()) << "selecting by the input is no choice of the user";

  TData r = IntData(1);
  TData text = StrData("COM22");
  r.Next = &text;
  c->doReplace(r, 0);
  EXPECT_EQ(Items(w), (std::vector<std::string>{"COM1", "COM22", "COM3"}));
  TData beyond = IntData(3);
  beyond.Next = &text;
  c->doReplace(beyond, 0);
  EXPECT_EQ(Items(w).size(), 3u) << "out of range: nothing";

  // The items text: each item followed by CR LF, the last one's dropped unless it is empty.
  AddItem(c, "");
  TData all;
  c->getItems(all, 0);
  EXPECT_EQ(all.StrValue, "COM1\r\nCOM22\r\nCOM3\r\n\r\n");
  TData ignored;
  c->doClear(ignored, 0);
  EXPECT_TRUE(Items(w).empty());
  c->getItems(all, 0);
  EXPECT_EQ(all.DataKind, kindString);
  EXPECT_EQ(all.StrValue, "");
}

TEST_F(ComboBox, AChoiceInTheDropDownFiresTheItemText) {
  form->Init();
  auto* c = Box(Make<TKvComboBox>());
  c->Init();
  ChainSink clicks;
  c->onClick = clicks.Point();
  Start();
  HWND w = c->Control()->Handle;
  AddItem(c, "COM1", -1);
  AddItem(c, "COM3", -1);
  AddItem(c, "COM7", 7);
  ASSERT_TRUE(UserChoose(w, 1));
  ASSERT_TRUE(PumpUntil([&] { return !clicks.first.empty(); }, 5000));
  ASSERT_EQ(clicks.first.size(), 1u);
  EXPECT_EQ(clicks.first[0].DataKind, kindString);
  EXPECT_EQ(clicks.first[0].StrValue, "COM3");
  EXPECT_FALSE(clicks.second[0].has_value()) << "an item integer of -1 is not chained";
  EXPECT_EQ(TextOf(w), "COM3");
  ASSERT_TRUE(UserChoose(w, 2));
  ASSERT_TRUE(PumpUntil([&] { return clicks.first.size() >= 2; }, 5000));
  EXPECT_EQ(clicks.first[1].StrValue, "COM7");
  ASSERT_TRUE(clicks.second[1].has_value());
  EXPECT_EQ(*clicks.second[1], 7);
  // The index instead of the text.
  c->SelectKind = 0;
  ASSERT_TRUE(UserChoose(w, 0));
  ASSERT_TRUE(PumpUntil([&] { return clicks.first.size() >= 3; }, 5000));
  EXPECT_EQ(clicks.first[2].DataKind, kindInteger);
  EXPECT_EQ(clicks.first[2].IntValue, 0);
}

TEST_F(ComboBox, OptionsAndTheFillWithRedrawOff) {
  form->Init();
  auto* list = Box(Make<TKvComboBox>());
  list->Editable = false;
  list->Sort = true;
  list->Text = "";
  list->Strings = "b\r\na\r\nc";
  static std::vector<UINT>* seen = nullptr;
  static HWND target = nullptr;
  std::vector<UINT> messages;
  seen = &messages;
  target = nullptr;
  // Watches the list's messages from the start of the fill.
  GlobalHooks().Message = [](TControl* self, TMsg& m, LRESULT&) {
    if (seen && self->Actions.Kind == TControlKind::ComboBox && (!target || m.hwnd == target)) {
      target = m.hwnd;
      seen->push_back(m.message);
    }
    return false;
  };
  list->Init();
  GlobalHooks().Message = nullptr;
  seen = nullptr;
  auto* edit = Box(Make<TKvComboBox>());
  edit->Top = 50;
  edit->Text = "typed";
  edit->Init();
  Start();
  HWND l = list->Control()->Handle, e = edit->Control()->Handle;
  EXPECT_EQ(GetWindowLongW(l, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  EXPECT_NE(GetWindowLongW(l, GWL_STYLE) & CBS_SORT, 0);
  EXPECT_EQ(GetWindowLongW(e, GWL_STYLE) & 3, CBS_DROPDOWN);
  EXPECT_EQ(GetWindowLongW(e, GWL_STYLE) & CBS_SORT, 0);
  EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(TextOf(e), "typed");
  // Redraw off, cleared, storage reserved, the lines added in order, redraw on.
  std::vector<UINT> fill;
  for (UINT m : messages) {
    if (m == WM_SETREDRAW || m == CB_RESETCONTENT || m == CB_INITSTORAGE || m == CB_ADDSTRING) fill.push_back(m);
  }
  EXPECT_EQ(fill, (std::vector<UINT>{WM_SETREDRAW, CB_RESETCONTENT, CB_INITSTORAGE, CB_ADDSTRING, CB_ADDSTRING,
                                     CB_ADDSTRING, WM_SETREDRAW}));
}

#ifdef _WIN32
// (The headless combo box asks no item height.)
TEST_F(ComboBox, OwnerDrawnItemsGetTheItemHeight) {
  form->Init();
  auto* c = Box(Make<TKvComboBox>());
  c->Flags = kWinFlagOwnerDraw;
  c->ItemHeight = 20;
  c->Strings = "COM1\r\nCOM2";
  c->Init();
  Start();
  HWND w = c->Control()->Handle;
  EXPECT_NE(GetWindowLongW(w, GWL_STYLE) & CBS_OWNERDRAWFIXED, 0);
  EXPECT_EQ(SendMessageW(w, CB_GETITEMHEIGHT, 0, 0), 20);
}
#endif

}  // namespace

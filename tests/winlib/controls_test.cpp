// Control objects: what construction sets, windows made later with what was set before,
// creation that fails and is tried again, child alignment with real windows, the list
// operations through each kind's actions, texts crossing into windows as UTF-16 and shared
// background brushes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "tests/winlib/winlib_test_support.h"
#include "winlib/ControlsInternal.h"

namespace {

using namespace zorv::winlibtest;
namespace user = zorv::user;

class Controls : public WinlibTest {};

TEST_F(Controls, ConstructionDefaults) {
  TControl* form = Form();
  EXPECT_TRUE(form->IsForm);
  EXPECT_EQ(form->ClassStyle, static_cast<UINT>(CS_OWNDC | CS_DBLCLKS));
  EXPECT_EQ(form->Style, static_cast<DWORD>(WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW));
  TControl* b1 = NewButton(form, "1");
  TControl* b2 = NewButton(form, "2");
  EXPECT_EQ(b1->Style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHLIKE | WS_CLIPSIBLINGS |
                                          WS_CLIPCHILDREN));
  EXPECT_TRUE(b1->IsControl && b1->TabStop && b1->Visible);
  EXPECT_EQ(b2->TabOrder, b1->TabOrder + 1);
  EXPECT_EQ(b2->CtlId, b1->CtlId + 1);
  EXPECT_GE(b1->CtlId, kFirstCtlId);
  EXPECT_TRUE(SameRect(b1->BoundsRect, RECT{2, 2, 66, 24})) << Show(b1->BoundsRect);
  EXPECT_EQ(form->CurrentControl, b1) << "the first tab stop becomes the current control";
  EXPECT_EQ(b1->Color, form->Color);

  TControl* label = NewLabel(form, "L");
  EXPECT_FALSE(label->TabStop);
  TControl* edit = NewEdit(form, 0);
  EXPECT_EQ(edit->ExStyle & WS_EX_CLIENTEDGE, static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(edit->Style & (WS_BORDER | WS_HSCROLL | WS_VSCROLL), 0u);
  EXPECT_EQ(edit->NavKeys, kNavTab | kNavUpDown | kNavPageUpDown);
  EXPECT_EQ(NewEdit(form, kEditOptionWantTab)->NavKeys, kNavUpDown | kNavPageUpDown);
  TControl* multi = NewEdit(form, kEditOptionMultiline);
  EXPECT_EQ(multi->NavKeys, kNavTab);
  EXPECT_EQ(multi->BoundsRect.right - multi->BoundsRect.left, 200);
  EXPECT_EQ(multi->Style & (WS_HSCROLL | WS_VSCROLL), static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL));
  EXPECT_EQ(NewEdit(form, kEditOptionMultiline | kEditOptionWantTab)->NavKeys, 0);
  EXPECT_EQ(label->NavKeys, kNavAll);
  TControl* combo = NewComboBox(form, 0);
  EXPECT_EQ(combo->Style & 3u, static_cast<DWORD>(CBS_DROPDOWN));
  EXPECT_EQ(combo->NavKeys, kNavTab);
  EXPECT_EQ(combo->ClassStyle & CS_DBLCLKS, static_cast<UINT>(CS_DBLCLKS));
  TControl* list = NewComboBox(form, kComboOptionList);
  EXPECT_EQ(list->Style & 3u, static_cast<DWORD>(CBS_DROPDOWNLIST));
  EXPECT_EQ(list->NavKeys, kNavTab | kNavLeftRight);
  const auto modules = CensusMade(TCensusKind::Module);
  TControl* progress = NewProgressBar(form, 0);
  EXPECT_EQ(progress->CtlId, 0u);
  EXPECT_EQ(progress->TextColor, SysColor(COLOR_HIGHLIGHT));
  EXPECT_TRUE(SameRect(progress->BoundsRect, RECT{2, 2, 302, 22}));
  EXPECT_EQ(CensusHeld(TCensusKind::Module), 1) << "the common controls are loaded once";
  NewProgressBar(form, 0);
  EXPECT_EQ(CensusHeld(TCensusKind::Module), 1);
  EXPECT_EQ(CensusMade(TCensusKind::Module), modules + 1);
  EXPECT_GE(WinVersion(), 3);
}

TEST_F(Controls, AButtonMadeBeforeItsFormHasAWindowGetsCaptionBoundsAndFont) {
  TControl* form = Form();
  form->GetFont()->SetData(tool::kFontHeight, -19);
  TControl* button = NewButton(form, kWrite);
  button->SetBoundsRect(RECT{12, 34, 132, 64});
  button->GetFont()->SetFontName("Arial");
  ASSERT_EQ(button->Handle, nullptr);
  ShowInFront(form);
  ASSERT_TRUE(button->Handle);
  EXPECT_EQ(GetParent(button->Handle), form->Handle);
  EXPECT_TRUE(IsWindowVisible(button->Handle));
  EXPECT_EQ(WindowText(button->Handle), kWrite);
  EXPECT_TRUE(SameRect(ChildRect(button->Handle), RECT{12, 34, 132, 64})) << Show(ChildRect(button->Handle));
  const auto font = reinterpret_cast<HFONT>(SendMessageW(button->Handle, WM_GETFONT, 0, 0));
  ASSERT_TRUE(font);
  EXPECT_EQ(font, button->Font->Handle());
  LOGFONTW lf{};
  ASSERT_GT(GetObjectW(font, sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfHeight, -19) << "the form's height, inherited";
  EXPECT_EQ(FromWide(lf.lfFaceName, std::char_traits<WCHAR>::length(lf.lfFaceName)), "Arial");
  EXPECT_EQ(ControlOf(button->Handle), button);
  EXPECT_EQ(GetDlgCtrlID(button->Handle), static_cast<int>(button->CtlId));
}

TEST_F(Controls, ControlsAddedAfterTheTreeHasWindowsGetThemWhenItIsCreated) {
  TControl* form = nullptr;
  TControl* app = RunningApplet(&form);
  TControl* combo = NewComboBox(form, 0);
  combo->Add("COM1");  // makes the windows of the whole tree so far
  ASSERT_TRUE(app->Handle && form->Handle && combo->Handle);
  TControl* late = NewLabel(form, "late");
  TControl* panel = NewPaintPanel(form);
  TControl* inner = NewButton(panel, "inner");
  EXPECT_EQ(late->Handle, nullptr);
  StartRunning(app);  // as Run does: the application window's tree is created
  EXPECT_TRUE(late->Handle);
  EXPECT_TRUE(panel->Handle);
  EXPECT_TRUE(inner->Handle);
  EXPECT_EQ(GetParent(inner->Handle), panel->Handle);
}

// Refuses the first creation of the window it is asked about.
int gRefusals = 0;
bool RefuseCreation(void*, TMsg& m, LRESULT& r) {
  if (m.message == WM_NCCREATE && gRefusals > 0) {
    --gRefusals;
    r = FALSE;
    return true;
  }
  return false;
}

TEST_F(Controls, AFailedCreationLeavesNoHandleAndALaterPerformTriesAgain) {
  TControl* form = Form();
  TControl* edit = NewEdit(form, 0);
  edit->SetCaption("text");
  form->CreateHandle();
  const auto windows = CensusHeld(TCensusKind::Window);
  TControl* late = NewButton(form, "late");
  late->OnMessage = TOnMessage{RefuseCreation, nullptr};
  gRefusals = 1;
  EXPECT_EQ(late->Perform(WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(late->Handle, nullptr);
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows);
  EXPECT_EQ(late->Perform(WM_GETTEXTLENGTH, 0, 0), 4);
  ASSERT_TRUE(late->Handle);
  EXPECT_EQ(ControlOf(late->Handle), late);
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows + 1);
  EXPECT_EQ(WindowText(late->Handle), "late");

  EXPECT_EQ(late->CreateError, static_cast<DWORD>(ERROR_SUCCESS));

  // A class that cannot be registered (a name past the system's limit of 256 characters):
  // no window, no class, and no harm in asking again.
  TControl* odd = NewControl(form, std::string(300, 'x'), WS_CHILD | WS_VISIBLE, false, nullptr);
  const auto classes = CensusHeld(TCensusKind::WindowClass);
  EXPECT_EQ(odd->Perform(WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(odd->Perform(WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(odd->Handle, nullptr);
  EXPECT_EQ(odd->CreateError, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CensusHeld(TCensusKind::WindowClass), classes);

  // A child window without a parent: the system refuses it and says why.
  TControl* orphan = NewControl(nullptr, "BUTTON", WS_CHILD | WS_VISIBLE, false, nullptr);
  EXPECT_EQ(orphan->Perform(WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_EQ(orphan->Handle, nullptr);
  EXPECT_EQ(orphan->CreateError, static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  Free(orphan);
}

TEST_F(Controls, TopLeftClientChildrenFillTheClientAreaWithGapsInEveryCreationOrder) {
  std::array<std::uint8_t, 3> order{alLeft, alTop, alClient};  // ascending: all six orders follow
  int orders = 0;
  do {
    ++orders;
    TControl* form = Form();
    TControl* top = nullptr;
    TControl* left = nullptr;
    TControl* client = nullptr;
    for (std::uint8_t a : order) {
      if (a == alTop) (top = NewButton(form, "top"))->SetAlign(alTop);                          // 22 high
      if (a == alLeft) (left = NewLabel(form, "left"))->SetAlign(alLeft);                       // 64 wide
      if (a == alClient) (client = NewEdit(form, kEditOptionMultiline))->SetAlign(alClient);
    }
    ShowInFront(form);
    auto check = [&] {
      RECT cr{};
      GetClientRect(form->Handle, &cr);
      EXPECT_TRUE(SameRect(ChildRect(top->Handle), RECT{2, 2, cr.right - 2, 24})) << Show(ChildRect(top->Handle));
      EXPECT_TRUE(SameRect(ChildRect(left->Handle), RECT{2, 26, 66, cr.bottom - 2})) << Show(ChildRect(left->Handle));
      EXPECT_TRUE(SameRect(ChildRect(client->Handle), RECT{68, 26, cr.right - 2, cr.bottom - 2}))
          << Show(ChildRect(client->Handle)) << " in " << Show(cr);
    };
    check();
    // Resizing the form realigns them.
    form->SetBoundsRect(RECT{80, 80, 600, 500});
    user::Settle();
    check();
    // A hidden child gives its room back.
    top->SetVisible(false);
    user::Settle();
    RECT cr{};
    GetClientRect(form->Handle, &cr);
    EXPECT_TRUE(SameRect(ChildRect(left->Handle), RECT{2, 2, 66, cr.bottom - 2})) << Show(ChildRect(left->Handle));
    owned_.pop_back();
    Free(form);
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 6);
}

TEST_F(Controls, ComboListOperationsCarryCyrillicAndPointerSizedData) {
  TControl* form = Form();
  TControl* combo = NewComboBox(form, 0);
  EXPECT_EQ(combo->Add("COM1"), 0);
  EXPECT_EQ(combo->GetItemIndex(), 0);
  EXPECT_EQ(combo->Add(kWrite), 1);
  EXPECT_EQ(combo->GetItemIndex(), 0) << "only the first item added is selected";
  EXPECT_EQ(combo->Insert(1, "ins"), 1);
  EXPECT_EQ(combo->ItemCount(), 3);
  EXPECT_EQ(combo->GetItem(2), kWrite);
  // The text went in as UTF-16: "З" is U+0417.
  WCHAR buf[32] = {};
  ASSERT_EQ(SendMessageW(combo->Handle, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_EQ(buf[0], 0x0417);
  const LPARAM big = static_cast<LPARAM>(0x123456789ABCLL);
  combo->SetItemData(2, big);
  EXPECT_EQ(combo->GetItemData(2), big);
  combo->SetItemIndex(2);
  combo->SetItem(2, kForm);
  EXPECT_EQ(combo->GetItem(2), kForm);
  EXPECT_EQ(combo->GetItemData(2), big) << "replacing an item keeps its data";
  EXPECT_EQ(combo->GetItemIndex(), 2) << "and the selection";
  combo->Delete(0);
  EXPECT_EQ(combo->ItemCount(), 2);
  EXPECT_EQ(combo->GetItem(5), "");
  combo->Clear();
  EXPECT_EQ(combo->ItemCount(), 0);
}

TEST_F(Controls, EditAndButtonListOperations) {
  TControl* form = Form();
  TControl* edit = NewEdit(form, kEditOptionMultiline);
  edit->SetCaption("one\r\n" + kForm + "\r\nthree");
  EXPECT_EQ(edit->ItemCount(), 3);
  EXPECT_EQ(edit->GetItem(1), kForm);
  EXPECT_EQ(edit->GetItem(2), "three");
  edit->SetItem(1, "two");
  EXPECT_EQ(edit->GetCaption(), "one\r\ntwo\r\nthree");
  EXPECT_EQ(edit->Insert(0, "x"), -1);
  edit->Clear();
  EXPECT_EQ(edit->GetCaption(), "");

  TControl* button = NewButton(form, "a");
  EXPECT_EQ(button->ItemCount(), 0);
  EXPECT_EQ(button->GetItem(0), "");
  EXPECT_EQ(button->Add("b"), -1);
  EXPECT_EQ(button->GetCaption(), "ab") << "a kind without items appends to the caption";
  EXPECT_EQ(button->GetItemIndex(), -1);
  button->SetItemIndex(4);
  EXPECT_EQ(button->GetItemIndex(), 4);
  EXPECT_EQ(button->GetItemData(0), 0);
}

TEST_F(Controls, CaptionsCrossAsUtf16AndComeBackAs1251) {
  TControl* form = Form(kForm);
  TControl* label = NewLabel(form, kWrite);
  form->CreateHandle();
  WCHAR buf[32] = {};
  ASSERT_EQ(GetWindowTextW(form->Handle, buf, 32), 5);
  EXPECT_EQ(buf[0], 0x0424);  // "Ф"
  EXPECT_EQ(label->GetCaption(), kWrite);
  // A character the code page lacks comes back as '?'.
  SetWindowTextW(label->Handle, ZORV_W("a\x4E2D"));
  EXPECT_EQ(label->GetCaption(), "a?");
  // Empty and cut at a NUL.
  label->SetCaption(std::string("ab\0cd", 5));
  EXPECT_EQ(label->GetCaption(), "ab");
  label->SetCaption("");
  EXPECT_EQ(label->GetCaption(), "");
  EXPECT_TRUE(label->HasCaption);
}

TEST_F(Controls, PropertiesReachTheWindow) {
  TControl* form = Form();
  TControl* edit = NewEdit(form, 0);
  TControl* label = NewLabel(form, "label");
  form->CreateHandle();
  edit->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(edit->Handle));
  EXPECT_TRUE(edit->Style & WS_DISABLED);
  edit->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(edit->Handle));
  edit->SetLeft(40);
  edit->SetWidth(77);
  EXPECT_TRUE(SameRect(ChildRect(edit->Handle), RECT{40, 2, 117, 24})) << Show(ChildRect(edit->Handle));
  EXPECT_EQ(edit->Width(), 77);
  edit->SetCtl3D(false);
  EXPECT_EQ(GetWindowLongPtrW(edit->Handle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_NE(GetWindowLongPtrW(edit->Handle, GWL_STYLE) & WS_BORDER, 0);
  label->SetTextAlign(1);
  EXPECT_EQ(GetWindowLongPtrW(label->Handle, GWL_STYLE) & 0xFFFF, SS_NOTIFY | SS_NOPREFIX | SS_RIGHT);
  label->SetAutoSize(true);
  const SIZE ext = label->Canvas()->TextExtent("label");
  EXPECT_GT(ext.cx, 0);
  EXPECT_EQ(label->Width(), ext.cx + 1);
  EXPECT_EQ(label->Height(), ext.cy + 1);
  label->SetCaption("a much longer label");
  EXPECT_GT(label->Width(), ext.cx + 1) << "auto-size follows the caption";
  edit->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(edit->Handle));
  // Pointer-sized item data and the window procedure: the library's procedure is in place.
  EXPECT_EQ(GetWindowLongPtrW(edit->Handle, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&LibraryWindowProc));
}

TEST_F(Controls, AChildOfTheParentsColourPaintsWithTheParentsBrush) {
  TControl* form = Form();
  TControl* same = NewLabel(form, "same");
  TControl* other = NewLabel(form, "other");
  other->SetColor(RGB(200, 10, 10));
  other->SetTextColor(RGB(1, 2, 3));
  form->CreateHandle();
  HBRUSH formBrush = form->BackgroundBrush();
  ASSERT_TRUE(formBrush);
  HDC dc = GetDC(same->Handle);
  const auto fromSame = reinterpret_cast<HBRUSH>(SendMessageW(form->Handle, WM_CTLCOLORSTATIC,
                                                              reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(same->Handle)));
  const auto fromOther = reinterpret_cast<HBRUSH>(SendMessageW(form->Handle, WM_CTLCOLORSTATIC,
                                                               reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(other->Handle)));
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkColor(dc), RGB(200, 10, 10));
  ReleaseDC(same->Handle, dc);
  EXPECT_EQ(fromSame, formBrush);
  ASSERT_TRUE(fromOther);
  EXPECT_NE(fromOther, formBrush);
  LOGBRUSH lb{};
  ASSERT_GT(GetObjectW(fromOther, sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbColor, RGB(200, 10, 10));
  // Transparent controls answer the hollow brush.
  other->SetTransparent(true);
  dc = GetDC(other->Handle);
  EXPECT_EQ(SendMessageW(form->Handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(other->Handle)),
            reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
  ReleaseDC(other->Handle, dc);
  // Freeing the child does not delete the parent's brush it shared.
  Free(same);
  EXPECT_EQ(GetObjectType(formBrush), static_cast<DWORD>(OBJ_BRUSH));
  // The parent takes another colour and gives its old brush up: a child that shared it
  // paints with a live brush of its own colour, never with the one that went.
  TControl* sharing = NewLabel(form, "sharing");
  sharing->CreateHandle();
  auto brushFor = [&](TControl* c) {
    HDC d = GetDC(c->Handle);
    const auto b = reinterpret_cast<HBRUSH>(
        SendMessageW(form->Handle, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(d), reinterpret_cast<LPARAM>(c->Handle)));
    ReleaseDC(c->Handle, d);
    return b;
  };
  EXPECT_EQ(brushFor(sharing), form->BackgroundBrush());
  form->SetColor(RGB(1, 200, 1));
  const HBRUSH own = brushFor(sharing);
  ASSERT_GT(GetObjectW(own, sizeof lb, &lb), 0) << "a brush that still exists";
  EXPECT_EQ(lb.lbColor, ResolveColor(sharing->Color));
  EXPECT_NE(own, form->BackgroundBrush());
}

// Characters typed into a window as the keyboard's translation delivers them.
void Type(HWND wnd, const std::u16string& chars) {
  for (char16_t ch : chars) SendMessageW(wnd, WM_CHAR, static_cast<WPARAM>(ch), 1);
}

bool HasStyle(HWND wnd, LONG bits) { return (GetWindowLongW(wnd, GWL_STYLE) & bits) == bits; }

TEST_F(Controls, EditOptionsDecideWhatTheFieldTakes) {
  TControl* form = Form();
  TControl* plain = NewEdit(form, 0);
  TControl* upper = NewEdit(form, kEditOptionUpperCase);
  TControl* lower = NewEdit(form, kEditOptionLowerCase);
  TControl* number = NewEdit(form, kEditOptionNumber);
  TControl* readOnly = NewEdit(form, kEditOptionReadOnly);
  TControl* password = NewEdit(form, kEditOptionPassword);
  TControl* fixed = NewEdit(form, kEditOptionNoHScroll | kEditOptionNoVScroll);
  TControl* multi = NewEdit(form, kEditOptionMultiline);
  ShowInFront(form);
  for (TControl* e : {plain, upper, lower, number, readOnly}) Type(e->Handle, u"aB7");
  EXPECT_EQ(plain->GetCaption(), "aB7");
  EXPECT_EQ(upper->GetCaption(), "AB7");
  EXPECT_EQ(lower->GetCaption(), "ab7");
  EXPECT_EQ(number->GetCaption(), "7");
  EXPECT_EQ(readOnly->GetCaption(), "");
  EXPECT_TRUE(HasStyle(password->Handle, ES_PASSWORD));
  // Scrolling along with the caret is on unless the options turn it off.
  EXPECT_TRUE(HasStyle(plain->Handle, ES_AUTOHSCROLL));
  EXPECT_FALSE(HasStyle(fixed->Handle, ES_AUTOHSCROLL));
  // Lines: a single-line field holds one whatever its text.
  plain->SetCaption("a\r\nb");
  multi->SetCaption("a\r\nb");
  EXPECT_EQ(plain->ItemCount(), 1);
  EXPECT_EQ(multi->ItemCount(), 2);
}

TEST_F(Controls, ComboAndProgressOptionsShapeTheControl) {
  TControl* form = Form();
  TControl* drop = NewComboBox(form, 0);
  TControl* list = NewComboBox(form, kComboOptionList);
  TControl* sorted = NewComboBox(form, kComboOptionSort);
  TControl* upper = NewComboBox(form, kComboOptionUpperCase);
  TControl* fixed = NewComboBox(form, kComboOptionNoHScroll);
  TControl* vertical = NewProgressBar(form, kProgressOptionVertical);
  TControl* smooth = NewProgressBar(form, kProgressOptionSmooth);
  ShowInFront(form);
  // A drop-down list has no edit part to type into.
  auto editPart = [](TControl* c) { return FindWindowExW(c->Handle, nullptr, ZORV_W("Edit"), nullptr); };
  EXPECT_TRUE(editPart(drop));
  EXPECT_FALSE(editPart(list));
  for (TControl* c : {drop, sorted}) {
    c->Add("b");
    c->Add("a");
  }
  EXPECT_EQ(drop->GetItem(0), "b") << "items stay in the order they came";
  EXPECT_EQ(sorted->GetItem(0), "a");
  ASSERT_TRUE(editPart(upper));
  Type(editPart(upper), u"ab");
  EXPECT_EQ(upper->GetCaption(), "AB");
  EXPECT_TRUE(HasStyle(drop->Handle, CBS_AUTOHSCROLL));
  EXPECT_FALSE(HasStyle(fixed->Handle, CBS_AUTOHSCROLL));
  EXPECT_TRUE(HasStyle(vertical->Handle, PBS_VERTICAL));
  EXPECT_FALSE(HasStyle(vertical->Handle, PBS_SMOOTH));
  EXPECT_TRUE(HasStyle(smooth->Handle, PBS_SMOOTH));
  EXPECT_FALSE(HasStyle(smooth->Handle, PBS_VERTICAL));
}

}  // namespace

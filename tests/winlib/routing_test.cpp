// The window procedure chain and the application window: the order in which hooks,
// OnMessage events and attached procedures see a message and what a handled answer does,
// attached procedures that free their own window, commands and combo box selections
// reaching the child's events, keyboard handling (Tab, Enter, Escape) with real key input,
// closing the main form and the order of destruction after the loop.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/winlib/winlib_test_support.h"
#include "winlib/ControlsInternal.h"

namespace {

using namespace zorv::winlibtest;
namespace user = zorv::user;

// ---- Routing order ---------------------------------------------------------------------

// The probe: WM_GETTEXTLENGTH, which the previous procedure (DefWindowProcW) answers with
// the caption's length, tagged in wParam so that no message of the system is counted.
constexpr WPARAM kProbeTag = 0x5A5A;

struct TRoute {
  std::vector<std::string> steps;
  std::string handler;  // the step that answers handled
  LRESULT answer = 99;
};
TRoute gRoute;

bool Step(const char* name, TMsg& m, LRESULT& r) {
  if (m.message != WM_GETTEXTLENGTH || m.wParam != kProbeTag) return false;
  gRoute.steps.push_back(name);
  if (gRoute.handler == name) {
    r = gRoute.answer;
    return true;
  }
  return false;
}
bool GlobalStep(TControl*, TMsg& m, LRESULT& r) { return Step("global", m, r); }
bool AppletStep(void*, TMsg& m, LRESULT& r) { return Step("applet", m, r); }
bool OwnStep(void*, TMsg& m, LRESULT& r) { return Step("own", m, r); }
bool Attached1(TControl*, TMsg& m, LRESULT& r) { return Step("attached1", m, r); }
bool Attached2(TControl*, TMsg& m, LRESULT& r) { return Step("attached2", m, r); }
bool RunsAfterClose(TControl*, TMsg& m, LRESULT& r) { return Step("afterclose", m, r); }
bool PreviewStep(TControl*, TMsg& m, LRESULT& r) { return Step("preview", m, r); }
bool AfterStep(TControl*, TMsg& m, LRESULT&) {
  if (m.message == WM_GETTEXTLENGTH && m.wParam == kProbeTag) gRoute.steps.push_back("after=" + std::to_string(m.result));
  return false;
}

using Steps = std::vector<std::string>;

class Routing : public WinlibTest {};

TEST_F(Routing, OrderOfTheChainAndHandledAnswers) {
  TControl* form = nullptr;
  TControl* app = RunningApplet(&form);
  GlobalHooks().Message = GlobalStep;
  app->OnMessage = TOnMessage{AppletStep, nullptr};
  form->OnMessage = TOnMessage{OwnStep, nullptr};
  form->AttachProc(Attached1);
  form->AttachProc(Attached2);
  form->AttachProc(Attached1);  // a second time: kept once
  form->Hooks.MessagePreview = PreviewStep;
  form->Hooks.AfterMessage = AfterStep;
  StartRunning(app);
  ASSERT_TRUE(form->Handle);

  gRoute = TRoute{};
  EXPECT_EQ(form->Perform(WM_GETTEXTLENGTH, kProbeTag, 0), 4);  // "Form", from DefWindowProcW
  EXPECT_EQ(gRoute.steps, (Steps{"global", "applet", "own", "attached2", "attached1", "preview", "after=4"}));

  const Steps full = {"global", "applet", "own", "attached2", "attached1", "preview"};
  for (std::size_t i = 0; i < full.size(); ++i) {
    gRoute = TRoute{};
    gRoute.handler = full[i];
    gRoute.answer = 100 + static_cast<LRESULT>(i);
    EXPECT_EQ(form->Perform(WM_GETTEXTLENGTH, kProbeTag, 0), gRoute.answer) << full[i];
    Steps want(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    want.push_back("after=" + std::to_string(gRoute.answer));
    EXPECT_EQ(gRoute.steps, want) << full[i];
  }

  // The application window's own messages ask its OnMessage once, as its own.
  gRoute = TRoute{};
  app->Perform(WM_GETTEXTLENGTH, kProbeTag, 0);
  EXPECT_EQ(gRoute.steps, (Steps{"global", "applet"}));

  // While the application does not run, its OnMessage is not asked for other windows.
  AppletRunning = 0;
  gRoute = TRoute{};
  form->Perform(WM_GETTEXTLENGTH, kProbeTag, 0);
  EXPECT_EQ(gRoute.steps, (Steps{"global", "own", "attached2", "attached1", "preview", "after=4"}));
  AppletRunning = 1;

  // Once terminating, only procedures attached to run after close are asked, and the
  // after-message hook is not.
  form->AttachProcEx(RunsAfterClose, true);
  EXPECT_TRUE(form->IsProcAttached(RunsAfterClose));
  AppletTerminated = true;
  gRoute = TRoute{};
  form->Perform(WM_GETTEXTLENGTH, kProbeTag, 0);
  AppletTerminated = false;
  EXPECT_EQ(gRoute.steps, (Steps{"global", "applet", "own", "afterclose", "preview"}));
}

// ---- Attached procedures that free their window ----------------------------------------

constexpr UINT kFreeMe = WM_APP + 7;
int gOtherCalls = 0;
bool OtherProc(TControl*, TMsg& m, LRESULT&) {
  if (m.message == kFreeMe) ++gOtherCalls;
  return false;
}
bool FreeSelfProc(TControl* self, TMsg& m, LRESULT& r) {
  if (m.message != kFreeMe) return false;
  Free(self);
  r = 5;
  return false;  // not handled, yet the walk must stop: the object is gone
}

struct TDestroyLog {
  std::vector<std::string> order;
  std::vector<bool> childrenAlive;  // at each OnDestroy: every child window still exists
  std::vector<bool> terminated;     // at each OnDestroy: AppletTerminated
};
TDestroyLog gDestroyed;

struct TNamed {
  std::string name;
  TControl* control;
};
void LogDestroy(void* data, TObj*) {
  auto* n = static_cast<TNamed*>(data);
  gDestroyed.order.push_back(n->name);
  bool alive = true;
  for (int i = 0; i < n->control->Children->Count; ++i) {
    auto* c = static_cast<TControl*>(n->control->Children->Get(i));
    alive = alive && c->Handle && IsWindow(c->Handle);
  }
  gDestroyed.childrenAlive.push_back(alive);
  gDestroyed.terminated.push_back(AppletTerminated.load());
}

TEST_F(Routing, AnAttachedProcedureThatFreesItsOwnWindow) {
  TControl* form = Form();
  TControl* button = NewButton(form, "B");
  TControl* inner = NewLabel(button, "inner");  // a child of the freed control goes with it
  TNamed nb{"button", button}, ni{"inner", inner};
  button->OnDestroy = TObjEvent{LogDestroy, &nb};
  inner->OnDestroy = TObjEvent{LogDestroy, &ni};
  button->AttachProc(OtherProc);
  button->AttachProc(FreeSelfProc);  // asked first
  form->CreateHandle();
  HWND hb = button->Handle;
  HWND hi = inner->Handle;
  ASSERT_TRUE(hb && hi);
  const auto windows = CensusHeld(TCensusKind::Window);
  gDestroyed = TDestroyLog{};
  gOtherCalls = 0;

  EXPECT_EQ(SendMessageW(hb, kFreeMe, 0, 0), 5);
  EXPECT_EQ(gOtherCalls, 0) << "the walk ends with the object freed";
  EXPECT_EQ(gDestroyed.order, (std::vector<std::string>{"button", "inner"}));
  EXPECT_EQ(gDestroyed.childrenAlive, (std::vector<bool>{true, true}));
  EXPECT_FALSE(IsWindow(hb));
  EXPECT_FALSE(IsWindow(hi));
  EXPECT_EQ(form->Children->Count, 0);
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows - 2);
  user::Pump();
  EXPECT_EQ(gDestroyed.order.size(), 2u);
}

TEST_F(Routing, AFormThatFreesItselfFromItsOwnProcedure) {
  TControl* form = NewForm(nullptr, "Self");  // not in owned_: it frees itself
  form->SetBoundsRect(RECT{50, 50, 250, 150});
  TControl* edit = NewEdit(form, 0);
  TNamed nf{"form", form}, ne{"edit", edit};
  form->OnDestroy = TObjEvent{LogDestroy, &nf};
  edit->OnDestroy = TObjEvent{LogDestroy, &ne};
  form->AttachProc(FreeSelfProc);
  form->CreateHandle();
  HWND hf = form->Handle;
  gDestroyed = TDestroyLog{};
  PostMessageW(hf, kFreeMe, 0, 0);
  user::Pump();
  EXPECT_EQ(gDestroyed.order, (std::vector<std::string>{"form", "edit"}));
  EXPECT_FALSE(IsWindow(hf));
}

// ---- Commands and combo box selections -------------------------------------------------

struct TCounter {
  int n = 0;
  static void Fire(void* data, TControl*) { ++static_cast<TCounter*>(data)->n; }
  TOnEvent Event() { return TOnEvent{Fire, this}; }
};

TEST_F(Routing, AButtonClickReachesTheButtonsOnClickNotItsParents) {
  TControl* form = Form();
  TControl* edit = NewEdit(form, 0);
  TControl* button = NewButton(form, "Go");
  button->SetBoundsRect(RECT{10, 60, 110, 90});
  TCounter clicks, formClicks, editClicks;
  button->OnClick = clicks.Event();
  form->OnClick = formClicks.Event();
  edit->OnClick = editClicks.Event();
  ShowInFront(form);
  edit->Focus();
  user::Settle();

  user::Click(button->Handle);
  ASSERT_TRUE(user::PumpUntil([&] { return clicks.n > 0; })) << "no click reached the button";
  user::Settle();
  EXPECT_EQ(clicks.n, 1);
  EXPECT_EQ(formClicks.n, 0);
  EXPECT_EQ(editClicks.n, 0);
  EXPECT_EQ(GetFocus(), button->Handle);
  EXPECT_EQ(form->CurrentControl, button);

  // BM_CLICK as well goes to the button alone.
  button->Perform(BM_CLICK, 0, 0);
  user::Settle();
  EXPECT_EQ(clicks.n, 2);
  EXPECT_EQ(formClicks.n, 0);
}

struct TSelSeen {
  int fired = 0;
  int index = -2;
  std::string text;
  int changes = 0;
};
void SelChanged(void* data, TControl* c) {
  auto* s = static_cast<TSelSeen*>(data);
  ++s->fired;
  s->index = c->GetItemIndex();
  s->text = c->GetCaption();
}
void Changed(void* data, TControl*) { ++static_cast<TSelSeen*>(data)->changes; }

TEST_F(Routing, ComboSelectionEventFiresAfterTheBoxHasTheNewItem) {
  TControl* form = Form();
  TControl* combo = NewComboBox(form, 0);
  combo->SetBoundsRect(RECT{10, 10, 160, 34});
  for (const char* s : {"COM1", "COM2", "COM3"}) combo->Add(s);
  EXPECT_EQ(combo->GetItemIndex(), 0) << "the first item added is selected";
  TSelSeen seen;
  combo->OnSelChange = TOnEvent{SelChanged, &seen};
  combo->OnChange = TOnEvent{Changed, &seen};
  TCounter drops, closes;
  combo->OnDropDown = drops.Event();
  combo->OnCloseUp = closes.Event();
  ShowInFront(form);

  ASSERT_TRUE(user::ChooseComboItem(combo->Handle, 1));
  ASSERT_TRUE(user::PumpUntil([&] { return seen.fired > 0; }));
  user::Settle();
  EXPECT_EQ(seen.fired, 1);
  EXPECT_EQ(seen.index, 1);
  EXPECT_EQ(seen.text, "COM2");
  EXPECT_EQ(seen.changes, 0) << "OnChange stands in only when there is no OnSelChange";
  EXPECT_EQ(drops.n, 1);
  EXPECT_EQ(closes.n, 1);
  EXPECT_EQ(combo->DropDownIndex, 0);

  // Without OnSelChange the selection fires OnChange.
  combo->OnSelChange = TOnEvent{};
  ASSERT_TRUE(user::ChooseComboItem(combo->Handle, 2));
  ASSERT_TRUE(user::PumpUntil([&] { return seen.changes > 0; }));
  EXPECT_EQ(combo->GetItemIndex(), 2);
}

// ---- Keyboard --------------------------------------------------------------------------

TEST_F(Routing, ShiftTabOnTheFirstControlWrapsToTheHighestTabOrderThroughNesting) {
  TControl* form = Form();
  Tabulate(form);
  TControl* first = NewEdit(form, 0);
  first->SetBoundsRect(RECT{10, 10, 110, 32});
  TControl* panel = NewPaintPanel(form);  // a container, not a tab stop
  panel->SetBoundsRect(RECT{10, 40, 210, 140});
  TControl* middle = NewButton(form, "M");
  middle->SetBoundsRect(RECT{220, 10, 290, 32});
  TControl* nested = NewButton(panel, "N");  // the highest tab position, one level down
  nested->SetBoundsRect(RECT{10, 10, 80, 32});
  TControl* hidden = NewButton(form, "H");  // higher still, but hidden
  hidden->SetVisible(false);
  EXPECT_LT(first->TabOrder, middle->TabOrder);
  EXPECT_LT(middle->TabOrder, nested->TabOrder);
  EXPECT_LT(nested->TabOrder, hidden->TabOrder);
  ShowInFront(form);
  first->Focus();
  ASSERT_TRUE(user::PumpUntil([&] { return GetFocus() == first->Handle; }));

  user::ShiftKeyPress(VK_TAB);
  EXPECT_TRUE(user::PumpUntil([&] { return GetFocus() == nested->Handle; })) << "focus on " << GetFocus();
  EXPECT_EQ(form->CurrentControl, nested);

  user::KeyPress(VK_TAB);  // forward from the highest wraps to the lowest
  EXPECT_TRUE(user::PumpUntil([&] { return GetFocus() == first->Handle; }));
  user::KeyPress(VK_TAB);
  EXPECT_TRUE(user::PumpUntil([&] { return GetFocus() == middle->Handle; }));
  user::ShiftKeyPress(VK_TAB);
  EXPECT_TRUE(user::PumpUntil([&] { return GetFocus() == first->Handle; }));
  user::Settle();
  EXPECT_EQ(first->GetCaption(), "") << "Tab is not typed into the edit";
}

class DialogKeys : public WinlibTest {
 protected:
  void SetUp() override {
    WinlibTest::SetUp();
    if (IsSkipped()) return;
    app_ = RunningApplet(&form_);
    single_ = NewEdit(form_, 0);
    single_->SetBoundsRect(RECT{10, 10, 150, 32});
    multi_ = NewEdit(form_, kEditOptionMultiline);
    multi_->SetBoundsRect(RECT{10, 40, 150, 100});
    ok_ = NewButton(form_, "OK");
    ok_->SetBoundsRect(RECT{160, 10, 240, 34});
    cancel_ = NewButton(form_, "Cancel");
    cancel_->SetBoundsRect(RECT{160, 40, 240, 64});
    ok_->OnClick = okClicks_.Event();
    cancel_->OnClick = cancelClicks_.Event();
    SetDefaultButton(ok_, true);
    SetCancelButton(cancel_, true);
    StartRunning(app_);
    ShowInFront(form_);
  }
  void FocusOn(TControl* c) {
    c->Focus();
    ASSERT_TRUE(user::PumpUntil([&] { return GetFocus() == c->Handle; }));
  }
  void Press(UINT vk) {
    user::KeyPress(vk);
    user::Settle(300);
  }
  TControl* app_ = nullptr;
  TControl* form_ = nullptr;
  TControl *single_ = nullptr, *multi_ = nullptr, *ok_ = nullptr, *cancel_ = nullptr;
  TCounter okClicks_, cancelClicks_;
};

TEST_F(DialogKeys, EnterInASingleLineEditClicksTheDefaultButtonNotInAMultiLineEdit) {
  EXPECT_TRUE(ok_->Style & BS_DEFPUSHBUTTON);
  FocusOn(single_);
  Press(VK_RETURN);
  EXPECT_TRUE(user::PumpUntil([&] { return okClicks_.n == 1; }));
  EXPECT_EQ(cancelClicks_.n, 0);

  FocusOn(multi_);
  Press(VK_RETURN);
  EXPECT_EQ(okClicks_.n, 1) << "a multi-line edit takes Enter itself";
  EXPECT_EQ(GetFocus(), multi_->Handle);

  // A disabled default button is not clicked.
  ok_->SetEnabled(false);
  FocusOn(single_);
  Press(VK_RETURN);
  EXPECT_EQ(okClicks_.n, 1);
  ok_->SetEnabled(true);
  // Nor a hidden one.
  ok_->SetVisible(false);
  Press(VK_RETURN);
  EXPECT_EQ(okClicks_.n, 1);
}

TEST_F(DialogKeys, EscapeClicksTheCancelButton) {
  FocusOn(single_);
  Press(VK_ESCAPE);
  EXPECT_TRUE(user::PumpUntil([&] { return cancelClicks_.n == 1; }));
  EXPECT_EQ(okClicks_.n, 0);
  // Enter on the cancel button does not click the default button.
  FocusOn(cancel_);
  const int cancels = cancelClicks_.n;
  Press(VK_RETURN);
  EXPECT_EQ(okClicks_.n, 0);
  EXPECT_EQ(cancelClicks_.n, cancels);
  // A button is never both.
  SetDefaultButton(cancel_, true);
  EXPECT_FALSE(cancel_->IsCancelButton);
  EXPECT_EQ(form_->CancelButton, nullptr);
  EXPECT_EQ(form_->DefaultButton, cancel_);
  EXPECT_FALSE(ok_->IsDefaultButton);
  EXPECT_FALSE(ok_->Style & BS_DEFPUSHBUTTON);
}

// ---- Closing and destruction -----------------------------------------------------------

struct TCloseState {
  int asked = 0;
  bool acceptNow = false;
  int idles = 0;
  bool openAfterRefusal = false;
  TControl* form = nullptr;
  int destroyedDuringLoop = 0;
};
TCloseState gClose;

void AskClose(void*, TControl*, bool& accept) {
  ++gClose.asked;
  accept = gClose.acceptNow;
}

void CloseOnIdle(TControl*) {
  ++gClose.idles;
  gClose.destroyedDuringLoop = static_cast<int>(gDestroyed.order.size());
  if (gClose.asked == 0) {
    PostMessageW(gClose.form->Handle, WM_CLOSE, 0, 0);
  } else if (gClose.asked == 1 && !gClose.acceptNow) {
    gClose.openAfterRefusal = IsWindow(gClose.form->Handle) && IsWindowVisible(gClose.form->Handle) && !AppletTerminated;
    gClose.acceptNow = true;
    PostMessageW(gClose.form->Handle, WM_CLOSE, 0, 0);
  }
}

TEST_F(Routing, OnCloseFalseKeepsTheFormOpenThenClosingEndsRunAndDestroysOnceInOrder) {
  TControl* form = nullptr;
  TControl* app = RunningApplet(&form);
  TControl* panel = NewPaintPanel(form);
  TControl* inner = NewButton(panel, "inner");
  TControl* label = NewLabel(form, "label");
  TNamed na{"app", app}, nf{"form", form}, np{"panel", panel}, ni{"inner", inner}, nl{"label", label};
  for (TNamed* n : {&na, &nf, &np, &ni, &nl}) n->control->OnDestroy = TObjEvent{LogDestroy, n};
  form->OnClose = TOnClose{AskClose, nullptr};
  gClose = TCloseState{};
  gClose.form = form;
  gDestroyed = TDestroyLog{};
  OnIdle = CloseOnIdle;
  const auto windows0 = CensusHeld(TCensusKind::Window);
  std::vector<HWND> handles;

  TControl* var = app;
  PostMessageW(nullptr, WM_NULL, 0, 0);  // the first idle step comes at once
  ::Run(var);

  EXPECT_EQ(gClose.asked, 2);
  EXPECT_TRUE(gClose.openAfterRefusal) << "a refused close keeps the form";
  EXPECT_EQ(gClose.destroyedDuringLoop, 0) << "nothing is destroyed inside the loop";
  EXPECT_EQ(var, nullptr);
  EXPECT_EQ(Applet, nullptr);
  EXPECT_TRUE(AppletTerminated.load());
  // Each once, parents before their children, children last created first.
  EXPECT_EQ(gDestroyed.order, (std::vector<std::string>{"app", "form", "label", "panel", "inner"}));
  EXPECT_EQ(gDestroyed.childrenAlive, (std::vector<bool>(5, true)));
  EXPECT_EQ(gDestroyed.terminated, (std::vector<bool>(5, true)));
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows0);
  EXPECT_EQ(CensusHeld(TCensusKind::WindowClass), 0);
}

TEST_F(Routing, TerminateWithoutAnAppletDoesNothing) {
  TControl* form = Form();
  form->CreateHandle();
  HWND h = form->Handle;
  const auto classes = CensusHeld(TCensusKind::WindowClass);
  ASSERT_GT(classes, 0);
  TControl* var = form;
  Terminate(var);
  EXPECT_EQ(var, form);
  EXPECT_TRUE(IsWindow(h));
  EXPECT_EQ(CensusHeld(TCensusKind::WindowClass), classes);
  AppletTerminated = false;
}

// ---- Key and mouse events, the combo box's own child windows ---------------------------

struct TKeysSeen {
  std::vector<int> downs;
  std::vector<DWORD> shifts;
  std::string chars;
};
void KeyDownSeen(void* data, TControl*, int& key, DWORD shift) {
  auto* s = static_cast<TKeysSeen*>(data);
  s->downs.push_back(key);
  s->shifts.push_back(shift);
}
void CharSeen(void* data, TControl*, char& ch, DWORD) { static_cast<TKeysSeen*>(data)->chars.push_back(ch); }

TEST_F(Routing, KeysInTheComboBoxsEditPartReachTheComboAndTabLeavesIt) {
  TControl* form = Form();
  Tabulate(form);
  TControl* combo = NewComboBox(form, 0);
  combo->SetBoundsRect(RECT{10, 10, 160, 34});
  TControl* next = NewButton(form, "next");
  next->SetBoundsRect(RECT{10, 60, 100, 84});
  TKeysSeen seen;
  combo->SetOnKeyDown(TOnKey{KeyDownSeen, &seen});
  combo->SetOnChar(TOnChar{CharSeen, &seen});
  ShowInFront(form);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle, &info));
  ASSERT_TRUE(info.hwndItem && info.hwndItem != combo->Handle);
  // The edit part runs the library's filter first, its own procedure kept aside.
  const auto kept = reinterpret_cast<LONG_PTR>(GetPropW(info.hwndItem, PrevProcPropName()));
  EXPECT_NE(kept, 0);
  EXPECT_NE(GetWindowLongPtrW(info.hwndItem, GWLP_WNDPROC), kept);
  combo->Focus();
  ASSERT_TRUE(user::PumpUntil([&] { return GetFocus() == info.hwndItem; }));
  EXPECT_EQ(form->CurrentControl, combo);

  user::ShiftKeyPress('A');
  ASSERT_TRUE(user::PumpUntil([&] { return !seen.chars.empty(); }));
  user::Settle();
  EXPECT_EQ(seen.chars, "A");
  bool sawA = false;
  for (std::size_t i = 0; i < seen.downs.size(); ++i) {
    if (seen.downs[i] == 'A') {
      sawA = true;
      EXPECT_EQ(seen.shifts[i], 4u) << "Shift held";
    }
  }
  EXPECT_TRUE(sawA);
  EXPECT_EQ(combo->GetCaption(), "A");

  user::KeyPress(VK_TAB);
  EXPECT_TRUE(user::PumpUntil([&] { return GetFocus() == next->Handle; }));
  EXPECT_EQ(combo->GetCaption(), "A") << "Tab was not typed";
}

struct TMouseSeen {
  std::vector<TMouseEventData> downs, ups;
  static void Down(void* d, TControl*, const TMouseEventData& m) { static_cast<TMouseSeen*>(d)->downs.push_back(m); }
  static void Up(void* d, TControl*, const TMouseEventData& m) { static_cast<TMouseSeen*>(d)->ups.push_back(m); }
};

TEST_F(Routing, MouseEventsOfARealClick) {
  TControl* form = Form();
  TControl* panel = NewPaintPanel(form);
  panel->SetBoundsRect(RECT{20, 20, 60, 60});
  TMouseSeen seen;
  panel->SetOnMouseDown(TOnMouse{TMouseSeen::Down, &seen});
  panel->SetOnMouseUp(TOnMouse{TMouseSeen::Up, &seen});
  EXPECT_EQ(panel->AttachedProcs.size(), 2u) << "the colour procedure and one mouse procedure";
  ShowInFront(form);
  user::Click(panel->Handle);
  ASSERT_TRUE(user::PumpUntil([&] { return !seen.ups.empty(); }));
  ASSERT_EQ(seen.downs.size(), 1u);
  EXPECT_EQ(seen.downs[0].Button, 0);
  EXPECT_EQ(seen.downs[0].X, 20);
  EXPECT_EQ(seen.downs[0].Y, 20);
  EXPECT_TRUE(seen.downs[0].Shift & MK_LBUTTON);
  EXPECT_EQ(seen.ups[0].Button, 0);
}

// ---- The application window ------------------------------------------------------------

TEST_F(Routing, ApplicationWindowMenuAndClosingThroughTheMainForm) {
  TControl* form = nullptr;
  TControl* app = RunningApplet(&form);
  gClose = TCloseState{};
  form->OnClose = TOnClose{AskClose, nullptr};
  StartRunning(app);
  HMENU menu = GetSystemMenu(app->Handle, FALSE);
  ASSERT_TRUE(menu);
  EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_EQ(GetMenuState(menu, SC_MOVE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_TRUE(GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_NE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_TRUE(GetWindowLongPtrW(app->Handle, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_EQ(GetWindow(form->Handle, GW_OWNER), app->Handle);
  // Closing from the taskbar asks the main form.
  SendMessageW(app->Handle, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(user::PumpUntil([&] { return gClose.asked == 1; }));
  EXPECT_TRUE(IsWindow(form->Handle)) << "refused";
  EXPECT_FALSE(AppletTerminated.load());
}

// ---- Other threads ---------------------------------------------------------------------

TEST_F(Routing, SyncCallRunsOnTheWindowsThreadAndSaysWhetherItRan) {
  TControl* form = Form();
  TControl* label = NewLabel(form, "before");
  form->CreateHandle();
  const DWORD windowThread = GetCurrentThreadId();
  std::atomic<bool> done{false};
  DWORD ranOn = 0;
  bool inSync = false;
  bool ran = false;
  std::thread other([&] {
    ran = SyncCall(label, [&] {
      ranOn = GetCurrentThreadId();
      inSync = InSyncCall();
      label->SetCaption(kWrite);
    });
    done = true;
  });
  EXPECT_TRUE(user::PumpUntil([&] { return done.load(); }));
  other.join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(ranOn, windowThread);
  EXPECT_TRUE(inSync);
  EXPECT_FALSE(InSyncCall());
  EXPECT_EQ(WindowText(label->Handle), kWrite);
  // On the window's own thread it runs at once.
  bool atOnce = false;
  EXPECT_TRUE(SyncCall(label, [&] { atOnce = !InSyncCall(); }));
  EXPECT_TRUE(atOnce);
  // A window that is gone runs nothing, and the caller hears so.
  DestroyWindow(label->Handle);
  bool called = false;
  std::thread late([&] { ran = SyncCall(label, [&] { called = true; }); });
  late.join();
  EXPECT_FALSE(ran);
  EXPECT_FALSE(called);
}

}  // namespace

// The edit field: options, the text at Init firing no change, doText (caret kept, read-only
// fields too), Enter with and without a doText in the handler (the self-emptying fires no
// change), the change notification after typing, and the text data output.
#include <gtest/gtest.h>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvEdit.h"

namespace {

using namespace zorv::test;

using Edit = FormFixture;

void TypeInto(HWND w, const std::string& ascii) {
  SetFocus(w);
  Pump();
#ifdef _WIN32
  for (char ch : ascii) PostMessageW(w, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(ch)), 1);
  Pump();
#else
  zorv::headless::TypeText(std::u16string(ascii.begin(), ascii.end()));
  Pump();
#endif
}

TKvEdit* Field(TKvEdit* e, int top = 20) {
  e->Left = 10;
  e->Top = top;
  e->Width = 200;
  e->Height = 22;
  return e;
}

std::string GetTextOf(TKvEdit* e) {
  TData d;
  e->getText(d, 0);
  return d.DataKind == kindString ? d.StrValue : "<" + std::string(DataKindNames[d.DataKind]) + ">";
}

TEST_F(Edit, OptionsAndTheTextAtInit) {
  form->Init();
  auto* ro = Field(Make<TKvEdit>());
  ro->ReadOnly = true;
  ro->Text = Cp(u"Выберите порт с подключённым устройством.");
  ro->Init();
  auto* pw = Field(Make<TKvEdit>(), 50);
  pw->Password = true;
  pw->Init();
  Sink changes;
  ro->onChange = changes.Point();
  Start();
  HWND w = ro->Control()->Handle;
  EXPECT_NE(GetWindowLongW(w, GWL_STYLE) & ES_READONLY, 0);
  EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & ES_PASSWORD, 0);
  EXPECT_NE(GetWindowLongW(pw->Control()->Handle, GWL_STYLE) & ES_PASSWORD, 0);
  EXPECT_EQ(TextOf(w), Cp(u"Выберите порт с подключённым устройством."));
  EXPECT_EQ(GetTextOf(ro), Cp(u"Выберите порт с подключённым устройством."));
  EXPECT_EQ(changes.count(), 0u);
  // doText on a read-only field still replaces its text.
  TData d = StrData(Cp(u"Идентификация устройства..."));
  ro->doText(d, 0);
  Pump();
  EXPECT_EQ(TextOf(w), Cp(u"Идентификация устройства..."));
  EXPECT_EQ(changes.strings(), std::vector<std::string>{Cp(u"Идентификация устройства...")});
}

TEST_F(Edit, InitOnALiveWindowFiresNoChangeButTheFirstTypingDoes) {
  form->Init();
  Start();
  EXPECT_TRUE(EventsAreOn());
  auto* e = Field(Make<TKvEdit>());
  e->Text = "FFFF";
  Sink changes;
  e->onChange = changes.Point();
  e->Init();
  e->Control()->CreateHandle();
  Pump();
  EXPECT_EQ(TextOf(e->Control()->Handle), "FFFF");
  EXPECT_EQ(changes.count(), 0u) << "the text set at Init";
  TypeInto(e->Control()->Handle, "1");
  ASSERT_EQ(changes.count(), 1u);
  EXPECT_EQ(changes.last().StrValue, TextOf(e->Control()->Handle));
}

TEST_F(Edit, TheFirstTypingAfterRunFires) {
  form->Init();
  auto* e = Field(Make<TKvEdit>());
  e->Text = "FFFF";
  e->Init();
  Sink changes;
  e->onChange = changes.Point();
  Start();
  EXPECT_EQ(changes.count(), 0u);
  HWND w = e->Control()->Handle;
  SendMessageW(w, EM_SETSEL, 4, 4);
  TypeInto(w, "A");
  EXPECT_EQ(changes.strings(), std::vector<std::string>{"FFFFA"});
  EXPECT_EQ(GetTextOf(e), "FFFFA") << "what the user typed is what the field gives";
}

TEST_F(Edit, DoTextKeepsTheCaret) {
  form->Init();
  auto* e = Field(Make<TKvEdit>());
  e->Text = "abcdef";
  e->Init();
  Start();
  HWND w = e->Control()->Handle;
  SendMessageW(w, EM_SETSEL, 3, 3);
  TData d = StrData("123456789");
  e->doText(d, 0);
  DWORD start = 99, end = 99;
  SendMessageW(w, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(TextOf(w), "123456789");
  EXPECT_EQ(start, 3u);
  EXPECT_EQ(end, 3u);
  // The text through its data point, with the empty default when it gives none.
  Source src = Source::String(Cp(u"через точку"));
  e->TextPoint = src.Point();
  TData none;
  e->doText(none, 0);
  EXPECT_EQ(TextOf(w), Cp(u"через точку"));
  EXPECT_EQ(GetTextOf(e), Cp(u"через точку"));
}

TEST_F(Edit, EnterEmptiesTheFieldSilentlyUnlessTheHandlerSetsAText) {
  form->Init();
  auto* e = Field(Make<TKvEdit>());
  e->Text = "first";
  e->Init();
  Sink enters, changes, keys;
  e->onEnter = enters.Point();
  e->onChange = changes.Point();
  e->onKeyDown = keys.Point();
  Start();
  HWND w = e->Control()->Handle;
  PressKey(w, VK_RETURN, '\r');
  EXPECT_EQ(enters.strings(), std::vector<std::string>{"first"});
  EXPECT_EQ(TextOf(w), "");
  EXPECT_EQ(changes.count(), 0u) << "the self-emptying fires no change";
  EXPECT_EQ(keys.count(), 0u) << "Enter is swallowed";
  // The next change fires again.
  TypeInto(w, "x");
  EXPECT_EQ(changes.strings(), std::vector<std::string>{"x"});

  // A handler that sets a text keeps it.
  enters.react = [e](TData&, std::uint16_t) {
    TData t = StrData("kept");
    e->doText(t, 0);
  };
  PressKey(w, VK_RETURN, '\r');
  EXPECT_EQ(enters.strings(), (std::vector<std::string>{"first", "x"}));
  EXPECT_EQ(TextOf(w), "kept");
  EXPECT_EQ(GetTextOf(e), "kept");
}

TEST_F(Edit, EnterWithoutOnEnterIsAnOrdinaryKey) {
  form->Init();
  auto* e = Field(Make<TKvEdit>());
  e->Text = "stay";
  e->Init();
  Sink keys;
  e->onKeyDown = keys.Point();
  Start();
  HWND w = e->Control()->Handle;
  PressKey(w, VK_RETURN, '\r');
  EXPECT_EQ(keys.integers(), std::vector<std::int32_t>{VK_RETURN});
  EXPECT_EQ(TextOf(w), "stay");
}

TEST_F(Edit, TheTextOutputFollowsItsReader) {
  form->Init();
  auto* e = Field(Make<TKvEdit>());
  e->Text = "FFFF";
  e->Init();
  Start();
  EXPECT_EQ(GetTextOf(e), "FFFF");
  e->TextReader = TKvEdit::TTextReader{[](void*, std::string&) { return false; }, nullptr};
  TData d = StrData("stale");
  e->getText(d, 0);
  EXPECT_EQ(d.DataKind, kindNull) << "a reader that gives nothing clears the value";
  e->TextReader = TKvEdit::TTextReader{};
  SetInteger(d, 5);
  e->getText(d, 0);
  EXPECT_EQ(d.DataKind, kindNull);
}

}  // namespace

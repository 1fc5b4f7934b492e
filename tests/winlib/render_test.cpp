// What a person sees (Windows build, under wine with an en_US locale, whose ANSI code page
// is not 1251): a form with one control of each kind and Cyrillic captions. The texts read
// back through the W calls are the right characters, the background colours on the screen
// are the ones set, and the label's pixels are its Cyrillic text drawn in its font, not the
// text the system's code page would have made of the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/winlib/winlib_test_support.h"
#include "winlib/Cp1251.h"

namespace {

using namespace zorv::winlibtest;
namespace user = zorv::user;

const std::string kLabel = "\xCC\xE5\xF2\xEA\xE0 \xEF\xEE\xF0\xF2\xE0";  // "Метка порта"
const std::string kEditText = "\xD2\xE5\xEA\xF1\xF2";                     // "Текст"
const std::string kItem = "\xCF\xEE\xF0\xF2";                             // "Порт"
constexpr COLORREF kFormColor = RGB(200, 220, 240);
constexpr COLORREF kLabelColor = RGB(250, 230, 180);
constexpr COLORREF kBarBack = RGB(30, 30, 120);
constexpr COLORREF kBar = RGB(0, 160, 0);

std::wstring Utf16(const std::string& cp1251) {
  const std::u16string u = Cp1251ToUtf16(cp1251);
  return std::wstring(u.begin(), u.end());
}

// What an "A" call would have shown under code page 1252: each byte as that code page's
// character (Latin-1 for the Cyrillic range).
std::wstring Mojibake(const std::string& cp1251) {
  std::wstring out;
  for (char c : cp1251) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return out;
}

std::wstring TextW(HWND h) {
  wchar_t buf[256] = {};
  const int n = GetWindowTextW(h, buf, 256);
  return std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0));
}

// The pixels of a w x h picture, row by row.
struct TPicture {
  int w = 0, h = 0;
  std::vector<COLORREF> px;
  COLORREF at(int x, int y) const { return px[static_cast<std::size_t>(y * w + x)]; }
};

TPicture Read(HDC dc, int w, int h) {
  TPicture p;
  p.w = w;
  p.h = h;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) p.px.push_back(GetPixel(dc, x, y));
  }
  return p;
}

// The window's client area as it is on the screen.
TPicture Capture(HWND wnd) {
  RECT cr{};
  GetClientRect(wnd, &cr);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, cr.right, cr.bottom);
  HGDIOBJ old = SelectObject(mem, bmp);
  POINT origin{0, 0};
  ClientToScreen(wnd, &origin);
  BitBlt(mem, 0, 0, cr.right, cr.bottom, screen, origin.x, origin.y, SRCCOPY);
  TPicture p = Read(mem, cr.right, cr.bottom);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

// A text drawn as the label draws it: its font, colours and format, w x h.
TPicture Draw(const std::wstring& text, HFONT font, COLORREF ink, COLORREF back, int w, int h) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH brush = CreateSolidBrush(back);
  RECT r{0, 0, w, h};
  FillRect(mem, &r, brush);
  DeleteObject(brush);
  HGDIOBJ oldFont = SelectObject(mem, font);
  SetTextColor(mem, ink);
  SetBkColor(mem, back);
  SetBkMode(mem, OPAQUE);
  DrawTextW(mem, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_EXPANDTABS);
  TPicture p = Read(mem, w, h);
  SelectObject(mem, oldFont);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  return p;
}

// Of the pixels that are ink (not the background) in either picture, the share that is ink
// in both.
double InkOverlap(const TPicture& a, const TPicture& b, COLORREF back) {
  int both = 0, either = 0;
  for (int y = 0; y < a.h && y < b.h; ++y) {
    for (int x = 0; x < a.w && x < b.w; ++x) {
      const bool ia = a.at(x, y) != back, ib = b.at(x, y) != back;
      both += ia && ib;
      either += ia || ib;
    }
  }
  return either ? static_cast<double>(both) / either : 0.0;
}

int Count(const TPicture& p, COLORREF c) {
  int n = 0;
  for (COLORREF v : p.px) n += v == c;
  return n;
}

class Render : public WinlibTest {};

TEST_F(Render, CyrillicCaptionsAndColoursAsAPersonSeesThem) {
  // The point of the test: the system's code page is not 1251 here.
  EXPECT_NE(GetACP(), 1251u) << "run under en_US, as the window tests are";
  TControl* form = Form(kForm, RECT{100, 100, 520, 380});
  form->SetColor(kFormColor);
  form->GetFont()->SetFontName("Tahoma");
  form->GetFont()->SetData(tool::kFontHeight, -16);
  TControl* label = NewLabel(form, kLabel);
  label->SetBoundsRect(RECT{10, 10, 210, 34});
  label->SetColor(kLabelColor);
  label->SetTextColor(RGB(0, 0, 0));
  TControl* button = NewButton(form, kWrite);
  button->SetBoundsRect(RECT{220, 10, 340, 40});
  TControl* edit = NewEdit(form, 0);
  edit->SetBoundsRect(RECT{10, 50, 210, 74});
  edit->SetCaption(kEditText);
  TControl* combo = NewComboBox(form, kComboOptionList);
  combo->SetBoundsRect(RECT{220, 50, 340, 74});
  combo->Add(kItem);
  TControl* progress = NewProgressBar(form, 2);  // smooth
  progress->SetBoundsRect(RECT{10, 90, 310, 110});
  progress->SetColor(kBarBack);
  progress->SetTextColor(kBar);
  TControl* panel = NewPaintPanel(form);
  panel->SetBoundsRect(RECT{10, 130, 50, 170});
  ShowInFront(form);
  edit->Focus();  // no focus rectangle on the button
  progress->Perform(PBM_SETRANGE32, 0, 100);
  progress->Perform(PBM_SETPOS, 50, 0);
  RedrawWindow(form->Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  user::Settle(500);

  // Texts, read back through the W calls.
  EXPECT_EQ(TextW(form->Handle), Utf16(kForm));
  EXPECT_EQ(TextW(form->Handle), std::wstring(L"\x0424\x043E\x0440\x043C\x0430"));
  EXPECT_EQ(TextW(label->Handle), Utf16(kLabel));
  EXPECT_EQ(TextW(button->Handle), Utf16(kWrite));
  EXPECT_EQ(TextW(edit->Handle), Utf16(kEditText));
  EXPECT_EQ(TextW(combo->Handle), Utf16(kItem));
  wchar_t item[32] = {};
  ASSERT_EQ(SendMessageW(combo->Handle, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item)), 4);
  EXPECT_EQ(std::wstring(item), Utf16(kItem));
  EXPECT_NE(Utf16(kWrite), Mojibake(kWrite));

  // Background colours on the screen.
  const TPicture whole = Capture(form->Handle);
  ASSERT_GT(whole.w, 300);
  EXPECT_EQ(whole.at(380, 250), kFormColor) << "the form's background";
  EXPECT_EQ(whole.at(5, 5), kFormColor);
  const TPicture labelShot = Capture(label->Handle);
  EXPECT_EQ(labelShot.at(labelShot.w - 2, labelShot.h - 2), kLabelColor) << "the label's own background";
  const TPicture bar = Capture(progress->Handle);
  EXPECT_EQ(bar.at(bar.w / 4, bar.h / 2), kBar) << "the filled half";
  EXPECT_EQ(bar.at(bar.w * 3 / 4, bar.h / 2), kBarBack) << "the empty half";
  const TPicture panelShot = Capture(panel->Handle);
  EXPECT_EQ(panelShot.at(20, 20), kFormColor) << "a child of the form's colour shows it";

  // The label's caption is the Cyrillic text in its font, not the mojibake.
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(label->Handle, WM_GETFONT, 0, 0));
  ASSERT_TRUE(font);
  const TPicture right = Draw(Utf16(kLabel), font, RGB(0, 0, 0), kLabelColor, labelShot.w, labelShot.h);
  const TPicture wrong = Draw(Mojibake(kLabel), font, RGB(0, 0, 0), kLabelColor, labelShot.w, labelShot.h);
  const double withRight = InkOverlap(labelShot, right, kLabelColor);
  const double withWrong = InkOverlap(labelShot, wrong, kLabelColor);
  std::printf("label ink overlap: Cyrillic %.3f, mojibake %.3f; ink pixels %d\n", withRight, withWrong,
              labelShot.w * labelShot.h - Count(labelShot, kLabelColor));
  EXPECT_GT(labelShot.w * labelShot.h - Count(labelShot, kLabelColor), 50) << "the label shows text";
  EXPECT_GT(withRight, 0.9);
  EXPECT_LT(withWrong, 0.6);

  // The button's caption too: its pixels match the Cyrillic text better than the mojibake.
  const TPicture buttonShot = Capture(button->Handle);
  const COLORREF face = buttonShot.at(3, buttonShot.h / 2);
  HFONT bfont = reinterpret_cast<HFONT>(SendMessageW(button->Handle, WM_GETFONT, 0, 0));
  SIZE cyr{}, moj{};
  HDC dc = GetDC(button->Handle);
  HGDIOBJ oldFont = SelectObject(dc, bfont);
  GetTextExtentPoint32W(dc, Utf16(kWrite).c_str(), static_cast<int>(kWrite.size()), &cyr);
  GetTextExtentPoint32W(dc, Mojibake(kWrite).c_str(), static_cast<int>(kWrite.size()), &moj);
  SelectObject(dc, oldFont);
  ReleaseDC(button->Handle, dc);
  // The ink's width on the button is the Cyrillic text's width.
  int first = buttonShot.w, last = -1;
  for (int y = 4; y < buttonShot.h - 4; ++y) {
    for (int x = 4; x < buttonShot.w - 4; ++x) {
      if (buttonShot.at(x, y) != face) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
    }
  }
  std::printf("button ink %d..%d (width %d); Cyrillic text %ld, mojibake %ld\n", first, last, last - first + 1,
              static_cast<long>(cyr.cx), static_cast<long>(moj.cx));
  ASSERT_GE(last, first);
  EXPECT_LE(std::abs((last - first + 1) - cyr.cx), 3);
  EXPECT_NE(cyr.cx, moj.cx);
}

}  // namespace

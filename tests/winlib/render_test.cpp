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

// The same for two pictures of a text drawn at different places: each is cut to the box of
// its ink (inside `margin` pixels of its edges) before comparing.
TPicture InkBox(const TPicture& p, COLORREF back, int margin) {
  int x0 = p.w, y0 = p.h, x1 = -1, y1 = -1;
  for (int y = margin; y < p.h - margin; ++y) {
    for (int x = margin; x < p.w - margin; ++x) {
      if (p.at(x, y) == back) continue;
      x0 = std::min(x0, x);
      y0 = std::min(y0, y);
      x1 = std::max(x1, x);
      y1 = std::max(y1, y);
    }
  }
  TPicture box;
  if (x1 < x0) return box;
  box.w = x1 - x0 + 1;
  box.h = y1 - y0 + 1;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) box.px.push_back(p.at(x, y) == back ? RGB(255, 255, 255) : RGB(0, 0, 0));
  }
  return box;
}

double BoxOverlap(const TPicture& a, const TPicture& b) {
  const TPicture* big = a.w * a.h >= b.w * b.h ? &a : &b;
  const TPicture* small = big == &a ? &b : &a;
  int both = 0, either = 0;
  for (int y = 0; y < big->h; ++y) {
    for (int x = 0; x < big->w; ++x) {
      const bool ia = big->at(x, y) == RGB(0, 0, 0);
      const bool ib = x < small->w && y < small->h && small->at(x, y) == RGB(0, 0, 0);
      both += ia && ib;
      either += ia || ib;
    }
  }
  return either ? static_cast<double>(both) / either : 0.0;
}

// For a person to look at: the picture as a PPM file where ZORV_RENDER_SHOT names one.
void SaveForAPerson(const TPicture& p) {
  const char* path = std::getenv("ZORV_RENDER_SHOT");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "wb")) {
    std::fprintf(f, "P6 %d %d 255\n", p.w, p.h);
    for (COLORREF c : p.px) {
      const unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
      std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
  }
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

  // The button's caption too (drawn centred: compared by the boxes of their ink).
  const TPicture buttonShot = Capture(button->Handle);
  const COLORREF face = buttonShot.at(buttonShot.w / 2, 4);
  HFONT bfont = reinterpret_cast<HFONT>(SendMessageW(button->Handle, WM_GETFONT, 0, 0));
  const TPicture bRight = Draw(Utf16(kWrite), bfont, RGB(0, 0, 0), face, buttonShot.w, buttonShot.h);
  const TPicture bWrong = Draw(Mojibake(kWrite), bfont, RGB(0, 0, 0), face, buttonShot.w, buttonShot.h);
  const TPicture shown = InkBox(buttonShot, face, 4);
  const double bWithRight = BoxOverlap(shown, InkBox(bRight, face, 0));
  const double bWithWrong = BoxOverlap(shown, InkBox(bWrong, face, 0));
  std::printf("button ink overlap: Cyrillic %.3f, mojibake %.3f (ink box %dx%d)\n", bWithRight, bWithWrong, shown.w,
              shown.h);
  EXPECT_GT(bWithRight, 0.9);
  EXPECT_LT(bWithWrong, 0.6);
  SaveForAPerson(whole);
}

}  // namespace

// The progress bar (range, bar colour, extended styles, doPosition drawn at once: empty at
// 0, full at Max) and the image (the picture taking over a handle, the stretch mode, the
// proportional fit with its two background bands, an empty picture, AutoSize). Natively
// from the headless system's drawing log, under wine from the pixels on the screen.
#include <gtest/gtest.h>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvImage.h"
#include "window_elements/kvProgressBar.h"

namespace {

using namespace zorv::test;

using ProgressBar = FormFixture;
using Image = FormFixture;

constexpr std::int32_t kBtnShadow = static_cast<std::int32_t>(0xFF000000u | COLOR_BTNSHADOW);

TKvProgressBar* Bar(TKvProgressBar* p) {
  p->Left = 5;
  p->Top = 90;
  p->Width = 300;
  p->Height = 30;
  p->Smooth = true;
  p->Max = 1015;
  p->BarColor = kBtnShadow;
  p->Ctl3D = 1;
  return p;
}

// Columns of the middle row of the window's client area that show `colour`.
#ifdef _WIN32
int ColumnsIn(HWND w, COLORREF colour, int* width) {
  RECT c{};
  GetClientRect(w, &c);
  POINT o{0, 0};
  ClientToScreen(w, &o);
  const int y = o.y + c.bottom / 2;
  const std::vector<COLORREF> px = CaptureScreen(RECT{o.x, y, o.x + c.right, y + 1});
  *width = c.right;
  int n = 0;
  for (COLORREF p : px) n += (p == colour);
  return n;
}
#endif

TEST_F(ProgressBar, RangeColourAndStyles) {
  form->Init();
  auto* p = Bar(Make<TKvProgressBar>());
  p->Init();
  auto* q = Bar(Make<TKvProgressBar>());
  q->Top = 130;
  q->Kind = 1;
  q->Smooth = false;
  q->Max = 100;
  q->Ctl3D = 2;
  q->BarColor = 0x00FF0000;
  q->Init();
  Start();
  HWND w = p->Control()->Handle;
  PBRANGE range{};
  SendMessageW(w, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 1015);
  EXPECT_NE(GetWindowLongW(w, GWL_STYLE) & PBS_SMOOTH, 0);
  EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & PBS_VERTICAL, 0);
  EXPECT_EQ(GetWindowLongW(w, GWL_EXSTYLE), 0) << "Ctl3D 1 removes every extended style";
  HWND v = q->Control()->Handle;
  EXPECT_NE(GetWindowLongW(v, GWL_STYLE) & PBS_VERTICAL, 0);
  EXPECT_EQ(GetWindowLongW(v, GWL_STYLE) & PBS_SMOOTH, 0);
#ifndef _WIN32
  // A system colour goes through GetSysColor; an RGB value as it is.
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(w, PBM_GETBARCOLOR, 0, 0)), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(v, PBM_GETBARCOLOR, 0, 0)), 0x00FF0000u);
#endif
}

TEST_F(ProgressBar, EmptyAtZeroFullAtMaxDrawnAtOnce) {
  form->Init();
  auto* p = Bar(Make<TKvProgressBar>());
  p->Init();
  Start();
  HWND w = p->Control()->Handle;
  TData zero = IntData(0), full = IntData(1015), half = StrData("500");
  const COLORREF bar = GetSysColor(COLOR_BTNSHADOW);
#ifdef _WIN32
  p->doPosition(zero, 0);
  PumpFor(200);
  int width = 0;
  EXPECT_EQ(ColumnsIn(w, bar, &width), 0) << "empty at 0";
  p->doPosition(full, 0);
  PumpFor(200);
  const int filled = ColumnsIn(w, bar, &width);
  EXPECT_GE(filled, width - 4) << "full at Max (a frame of at most two pixels a side)";
  p->doPosition(half, 0);
  PumpFor(200);
  const int halfFilled = ColumnsIn(w, bar, &width);
  EXPECT_GT(halfFilled, width / 2 - 10);
  EXPECT_LT(halfFilled, width / 2 + 10);
#else
  using zorv::headless::DrawOp;
  auto barFills = [&] {
    std::vector<RECT> out;
    for (const auto& c : zorv::headless::DrawLog(w)) {
      if (c.op == DrawOp::FillRect && c.color == bar) out.push_back(c.rect);
    }
    return out;
  };
  RECT client{};
  GetClientRect(w, &client);
  const int width = client.right;  // inside the flat border
  p->doPosition(full, 0);
  // Drawn at once: no message loop ran since.
  std::vector<RECT> fills = barFills();
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills.back().left, 0);
  EXPECT_EQ(fills.back().right, width);
  EXPECT_EQ(SendMessageW(w, PBM_GETPOS, 0, 0), 1015);
  zorv::headless::ClearDrawLog();
  p->doPosition(zero, 0);
  EXPECT_TRUE(barFills().empty()) << "empty at 0";
  EXPECT_FALSE(zorv::headless::DrawLog(w).empty()) << "but redrawn";
  p->doPosition(half, 0);
  fills = barFills();
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills.back().right, width * 500 / 1015);
#endif
}

// A w x h bitmap of one colour.
HBITMAP SolidBitmap(int w, int h, COLORREF colour) {
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH brush = CreateSolidBrush(colour);
  RECT r{0, 0, w, h};
  FillRect(mem, &r, brush);
  DeleteObject(brush);
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return bmp;
}

constexpr COLORREF kBackground = RGB(0, 0, 255);
constexpr COLORREF kPicture = RGB(255, 0, 0);

TKvImage* Picture(TKvImage* img, int w, int h) {
  img->Left = 20;
  img->Top = 20;
  img->Width = w;
  img->Height = h;
  img->Color = static_cast<std::int32_t>(kBackground);
  return img;
}

// The rows of a column of the image (the middle one when x < 0): 'b' background, 'p'
// picture, '?' anything else.
std::string Column(HWND w, int x = -1) {
  RECT c{};
  GetClientRect(w, &c);
  if (x < 0) x = c.right / 2;
  std::string out;
#ifdef _WIN32
  POINT o{0, 0};
  ClientToScreen(w, &o);
  for (COLORREF p : CaptureScreen(RECT{o.x + x, o.y, o.x + x + 1, o.y + c.bottom})) {
    out += p == kBackground ? 'b' : p == kPicture ? 'p' : '?';
  }
#else
  using zorv::headless::DrawOp;
  out.assign(static_cast<std::size_t>(c.bottom), '?');
  for (const auto& call : zorv::headless::DrawLog(w)) {
    char mark = 0;
    if (call.op == DrawOp::FillRect && call.color == kBackground) mark = 'b';
    if (call.op == DrawOp::StretchBlt || call.op == DrawOp::StretchDIBits) mark = 'p';
    if (!mark || x < call.rect.left || x >= call.rect.right) continue;
    for (int y = std::max(0, static_cast<int>(call.rect.top)); y < std::min(c.bottom, call.rect.bottom); ++y) {
      out[static_cast<std::size_t>(y)] = mark;
    }
  }
#endif
  return out;
}

void Repaint(HWND w) {
#ifndef _WIN32
  zorv::headless::ClearDrawLog();
#endif
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  PumpFor(100);
}

TEST_F(Image, ATwiceAsWidePictureInASquareFillsTheWidthCentred) {
  form->Init();
  auto* img = Picture(Make<TKvImage>(), 100, 100);
  img->SetPicture(SolidBitmap(40, 20, kPicture));
  img->SetSmoothStretch(false);
  img->Init();
  Start();
  HWND w = img->Control()->Handle;
  Repaint(w);
  EXPECT_EQ(Column(w), std::string(25, 'b') + std::string(50, 'p') + std::string(25, 'b'));
#ifdef _WIN32
  // Full width: the picture's colour reaches both sides on the middle row.
  int width = 0;
  RECT c{};
  GetClientRect(w, &c);
  POINT o{0, 0};
  ClientToScreen(w, &o);
  const auto row = CaptureScreen(RECT{o.x, o.y + 50, o.x + c.right, o.y + 51});
  ASSERT_EQ(row.size(), 100u);
  EXPECT_EQ(row.front(), kPicture);
  EXPECT_EQ(row.back(), kPicture);
  (void)width;
#else
  for (const auto& call : zorv::headless::DrawLog(w)) {
    if (call.op == zorv::headless::DrawOp::StretchBlt || call.op == zorv::headless::DrawOp::StretchDIBits) {
      EXPECT_EQ(call.rect.left, 0);
      EXPECT_EQ(call.rect.right, 100);
      EXPECT_EQ(call.stretchMode, COLORONCOLOR);
    }
  }
#endif
}

TEST_F(Image, OffsetsRoundHalfToEven) {
  form->Init();
  // 100 x 51: (51 - 50) / 2 = 0.5 goes to 0; 100 x 53: 1.5 goes to 2; a square picture in
  // a wide area: full height, (100 - 40) / 2 = 30 at each side.
  auto* a = Picture(Make<TKvImage>(), 100, 51);
  a->SetPicture(SolidBitmap(40, 20, kPicture));
  a->Init();
  auto* b = Picture(Make<TKvImage>(), 100, 53);
  b->Left = 140;
  b->SetPicture(SolidBitmap(40, 20, kPicture));
  b->Init();
  auto* c = Picture(Make<TKvImage>(), 100, 40);
  c->Top = 120;
  c->SetPicture(SolidBitmap(20, 20, kPicture));
  c->Init();
  Start();
  Repaint(a->Control()->Handle);
  EXPECT_EQ(Column(a->Control()->Handle), std::string(51, 'p'));
  Repaint(b->Control()->Handle);
  EXPECT_EQ(Column(b->Control()->Handle), "bb" + std::string(49, 'p') + "bb");
  HWND wc = c->Control()->Handle;
  Repaint(wc);
  EXPECT_EQ(Column(wc, 50), std::string(40, 'p'));
  EXPECT_EQ(Column(wc, 29), std::string(40, 'b'));
  EXPECT_EQ(Column(wc, 30), std::string(40, 'p'));
  EXPECT_EQ(Column(wc, 69), std::string(40, 'p'));
  EXPECT_EQ(Column(wc, 70), std::string(40, 'b'));
}

TEST_F(Image, AnEmptyPicturePaintsOnlyTheBackground) {
  form->Init();
  auto* img = Picture(Make<TKvImage>(), 60, 40);
  img->SetPicture(nullptr);  // ignored: still empty
  img->Init();
  Start();
  HWND w = img->Control()->Handle;
  EXPECT_TRUE(img->Picture->Empty());
  Repaint(w);
  EXPECT_EQ(Column(w), std::string(40, 'b'));
#ifndef _WIN32
  for (const auto& call : zorv::headless::DrawLog(w)) {
    EXPECT_NE(call.op, zorv::headless::DrawOp::StretchBlt);
    EXPECT_NE(call.op, zorv::headless::DrawOp::StretchDIBits);
  }
#endif
}

TEST_F(Image, PictureHandleStretchModeAndAutoSize) {
  form->Init();
  auto* img = Picture(Make<TKvImage>(), 100, 100);
  img->SetPicture(SolidBitmap(15, 14, kPicture));
  img->SetPicture(nullptr);  // a zero handle leaves the picture
  EXPECT_EQ(img->Picture->Width, 15);
  EXPECT_EQ(img->Picture->Height, 14);
  img->SetSmoothStretch(true);
  EXPECT_EQ(img->StretchMode(), WinVersion() > 2 ? HALFTONE : COLORONCOLOR);
  img->SetSmoothStretch(false);
  EXPECT_EQ(img->StretchMode(), COLORONCOLOR);
  img->AutoSize = true;
  img->Init();
  Sink clicks;
  img->onClick = clicks.Point();
  Start();
  HWND w = img->Control()->Handle;
  RECT r = ScreenRect(w);
  EXPECT_EQ(r.right - r.left, 15);
  EXPECT_EQ(r.bottom - r.top, 14);
  ClickOn(w, 3, 3);
  EXPECT_EQ(clicks.count(), 1u);
}

}  // namespace

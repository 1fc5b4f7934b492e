// Graphic tools, canvas and bitmaps: the tool data rules, GDI objects shared with an
// identical parent tool until one changes (also for the windows that use them), a
// system-colour brush made anew after the colour changed, the canvas's DC handling and
// fill fallbacks, the painting hook, and bitmaps drawn stretched by the handle path, the
// memory-bits path and its DIB-section fallback with its one error message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/winlib/winlib_test_support.h"
#ifndef _WIN32
#include "headless_win32/headless.h"
#endif

namespace {

using namespace zorv::winlibtest;
namespace user = zorv::user;

class Graphics : public WinlibTest {};

struct TChanges {
  int n = 0;
  std::vector<bool> hadHandle;  // whether the tool still had its object at each call
  static void Count(void* data, TGraphicTool* t) {
    auto* c = static_cast<TChanges*>(data);
    ++c->n;
    c->hadHandle.push_back(t->GdiHandle != nullptr);
  }
};

// ---- Tool data rules -------------------------------------------------------------------

TEST_F(Graphics, FontDefaultsStyleAndNameRules) {
  TObjPtr<TGraphicTool> font(NewFont());
  EXPECT_EQ(font->Color(), SysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(font->Data[tool::kFontCharSet], DEFAULT_CHARSET);
  EXPECT_EQ(font->FontName(), "MS Sans Serif");
  EXPECT_EQ(font->GetData(tool::kFontHeight), 0);
  TChanges changes;
  font->OnChange = TToolEvent{TChanges::Count, &changes};

  font->SetData(tool::kFontWeight, 400);
  font->SetFontStyle(kFontBold);
  EXPECT_EQ(font->GetData(tool::kFontWeight), 700);
  font->SetData(tool::kFontWeight, 900);
  EXPECT_EQ(font->FontStyle(), kFontBold);
  font->SetFontStyle(kFontItalicBit | kFontStrikeOutBit);
  EXPECT_EQ(font->GetData(tool::kFontWeight), 0) << "not bold clears a bold weight";
  EXPECT_EQ(font->Data[tool::kFontItalic], 1);
  EXPECT_EQ(font->Data[tool::kFontUnderline], 0);
  EXPECT_EQ(font->Data[tool::kFontStrikeOut], 1);
  EXPECT_EQ(font->FontStyle(), kFontItalicBit | kFontStrikeOutBit);
  font->SetData(tool::kFontWeight, 600);
  font->SetFontStyle(kFontItalicBit | kFontStrikeOutBit | 0x30);  // same style bits: no change
  EXPECT_EQ(font->GetData(tool::kFontWeight), 600);
  const int before = changes.n;
  font->SetData(tool::kFontWeight, 600);
  font->SetCharSet(DEFAULT_CHARSET);
  EXPECT_EQ(changes.n, before) << "equal values change nothing";
  font->SetFontStyle(kFontBold | kFontItalicBit | kFontStrikeOutBit);
  EXPECT_EQ(font->GetData(tool::kFontWeight), 700);

  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  font->SetFontName(forty);
  EXPECT_EQ(font->FontName(), forty.substr(0, 31));
  EXPECT_EQ(font->Data[63], 0) << "the face keeps its terminating zero";
  const int afterName = changes.n;
  font->SetFontName(forty + "more");  // cut to the same 31 bytes
  EXPECT_EQ(changes.n, afterName);
  font->SetFontName("Arial");
  EXPECT_EQ(font->FontName(), "Arial");
  EXPECT_EQ(font->Data[tool::kFontFace + 6], 0) << "the rest of the old name is cleared";
  // Offsets out of the block are refused.
  font->SetData(61, 1);
  font->SetData(-1, 1);
  EXPECT_EQ(changes.n, afterName + 1);
}

TEST_F(Graphics, ChangedTellsTheOwnerBeforeAndAfterTheObjectGoes) {
  TObjPtr<TGraphicTool> brush(NewBrush());
  EXPECT_EQ(brush->Color(), SysColor(COLOR_BTNFACE));
  EXPECT_TRUE(BrushBackgrounds());
  TChanges changes;
  brush->OnChange = TToolEvent{TChanges::Count, &changes};
  brush->SetColor(RGB(1, 2, 3));  // no object yet: told once
  EXPECT_EQ(changes.n, 1);
  HGDIOBJ h = brush->Handle();
  ASSERT_TRUE(h);
  EXPECT_EQ(brush->Handle(), h);
  const auto held = CensusHeld(TCensusKind::GdiObject);
  brush->SetBrushStyle(1);
  EXPECT_EQ(changes.n, 3);
  EXPECT_EQ(GetObjectType(h), 0u) << "the old object is deleted";
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held - 1);
  LOGBRUSH lb{};
  ASSERT_GT(GetObjectW(brush->Handle(), sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_NULL));
}

TEST_F(Graphics, AssignRules) {
  TGraphicTool* font = NewFont();
  font->SetFontName("Courier New");
  EXPECT_EQ(AssignTool(nullptr, nullptr), nullptr);
  TGraphicTool* copy = AssignTool(nullptr, font);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, font);
  EXPECT_EQ(copy->Kind, gtFont);
  EXPECT_EQ(std::memcmp(copy->Data, font->Data, 64), 0);
  EXPECT_EQ(AssignTool(copy, copy), copy);
  TGraphicTool* brush = NewBrush();
  brush->SetColor(RGB(9, 9, 9));
  TGraphicTool* brushCopy = AssignTool(nullptr, brush);
  EXPECT_EQ(brushCopy->Kind, gtBrush);
  EXPECT_EQ(brushCopy->Color(), RGB(9, 9, 9));
  // Assigning drops the old object.
  HGDIOBJ old = copy->Handle();
  font->SetData(tool::kFontHeight, -30);
  EXPECT_EQ(AssignTool(copy, font), copy);
  EXPECT_EQ(GetObjectType(old), 0u);
  EXPECT_EQ(copy->GetData(tool::kFontHeight), -30);
  // A null source frees the destination.
  const auto held = CensusHeld(TCensusKind::GdiObject);
  copy->Handle();
  EXPECT_EQ(AssignTool(copy, nullptr), nullptr);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held);
  Free(font);
  Free(brush);
  Free(brushCopy);
}

// ---- Sharing with the parent tool ------------------------------------------------------

HFONT WindowFont(TControl* c) { return reinterpret_cast<HFONT>(SendMessageW(c->Handle, WM_GETFONT, 0, 0)); }
LONG FontHeight(HFONT f) {
  LOGFONTW lf{};
  return GetObjectW(f, sizeof lf, &lf) > 0 ? lf.lfHeight : 12345;
}

TEST_F(Graphics, TwoWindowsShareOneGdiFontUntilOneChanges) {
  // Controls answer WM_GETFONT (a form's own class keeps no font), so the windows compared
  // are two labels of one form and a label inside one of them.
  TControl* form = Form();
  form->GetFont()->SetData(tool::kFontHeight, -14);
  TControl* label = NewLabel(form, "label");
  TControl* inner = NewLabel(label, "inner");  // shares through two levels
  TControl* sharing = NewButton(form, "sharing");
  form->CreateHandle();
  HFONT parentFont = static_cast<HFONT>(form->Font->Handle());
  ASSERT_TRUE(parentFont);
  EXPECT_EQ(WindowFont(label), parentFont);
  EXPECT_EQ(WindowFont(inner), parentFont);
  EXPECT_EQ(WindowFont(sharing), parentFont);
  EXPECT_EQ(label->Font->GdiHandle, nullptr) << "the copies made no object of their own";
  EXPECT_EQ(inner->Font->GdiHandle, nullptr);

  // The child's height changes: it has its own font, the parent keeps its one, and the
  // child's child that shared through it keeps a live font of its own data.
  label->GetFont()->SetData(tool::kFontHeight, -30);
  EXPECT_NE(WindowFont(label), parentFont);
  EXPECT_EQ(FontHeight(WindowFont(label)), -30);
  EXPECT_EQ(form->Font->Handle(), parentFont);
  EXPECT_EQ(WindowFont(sharing), parentFont);
  EXPECT_EQ(FontHeight(parentFont), -14);

  // The parent changes: the windows that still shared its font get a live font of their
  // own data, never the deleted one.
  form->GetFont()->SetData(tool::kFontHeight, -20);
  EXPECT_EQ(GetObjectType(parentFont), 0u);
  EXPECT_EQ(FontHeight(static_cast<HFONT>(form->Font->Handle())), -20);
  EXPECT_EQ(GetObjectType(WindowFont(sharing)), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(FontHeight(WindowFont(sharing)), -14);
  EXPECT_EQ(GetObjectType(WindowFont(inner)), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(FontHeight(WindowFont(inner)), -14);
}

// Sets a system colour for the test and puts the old one back.
class SysColorOverride {
 public:
  SysColorOverride(int index, COLORREF color) : index_(index), old_(GetSysColor(index)) { Set(color); }
  ~SysColorOverride() { Set(old_); }
  void Set(COLORREF color) {
#ifdef _WIN32
    const INT element = index_;
    SetSysColors(1, &element, &color);
#else
    zorv::headless::ChangeSysColor(index_, color);
#endif
    user::Settle(50);
  }

 private:
  int index_;
  COLORREF old_;
};

TEST_F(Graphics, ASystemColourBrushIsMadeAnewAfterTheColourChanged) {
  TControl* form = Form();
  TGraphicTool* brush = form->GetBrush();  // the form's colour: system colour 15
  form->CreateHandle();
  HGDIOBJ h1 = brush->Handle();
  LOGBRUSH lb{};
  ASSERT_GT(GetObjectW(h1, sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(brush->Handle(), h1) << "unchanged colour: the same object";
  const COLORREF fresh = GetSysColor(COLOR_BTNFACE) == RGB(10, 200, 30) ? RGB(20, 100, 60) : RGB(10, 200, 30);
  const auto made = CensusMade(TCensusKind::GdiObject);
  const auto held = CensusHeld(TCensusKind::GdiObject);
  {
    SysColorOverride over(COLOR_BTNFACE, fresh);
    ASSERT_EQ(GetSysColor(COLOR_BTNFACE), fresh);
    HGDIOBJ h2 = form->BackgroundBrush();
    ASSERT_GT(GetObjectW(h2, sizeof lb, &lb), 0);
    EXPECT_EQ(lb.lbColor, fresh);
    EXPECT_EQ(CensusMade(TCensusKind::GdiObject), made + 1);
    EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held) << "the old object went";
    EXPECT_EQ(brush->ResolvedColor, fresh);
  }
  ASSERT_GT(GetObjectW(brush->Handle(), sizeof lb, &lb), 0);
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
}

// ---- Canvas ----------------------------------------------------------------------------

// A memory DC with a w x h bitmap of the screen's format selected, released at the end.
class MemorySurface {
 public:
  MemorySurface(int w, int h) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    old_ = SelectObject(dc_, bitmap_);
    RECT r{0, 0, w, h};
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    ::FillRect(dc_, &r, black);
    DeleteObject(black);
  }
  ~MemorySurface() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TEST_F(Graphics, CanvasSelectsToolsOnDemandAndGivesStockObjectsBack) {
  MemorySurface surface(8, 8);
  TCanvas* canvas = NewCanvas(surface.dc());
  canvas->Font = NewFont();
  canvas->Font->SetColor(RGB(1, 2, 3));
  canvas->Brush = NewBrush();
  canvas->Brush->SetColor(RGB(40, 50, 60));
  EXPECT_EQ(canvas->State, csHandle);
  EXPECT_EQ(canvas->RequiredState(csHandle | csFont | csBrush), surface.dc());
  EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_FONT), canvas->Font->Handle());
  EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_BRUSH), canvas->Brush->Handle());
  EXPECT_EQ(GetTextColor(surface.dc()), RGB(1, 2, 3));
  EXPECT_EQ(GetBkColor(surface.dc()), RGB(40, 50, 60));
  EXPECT_EQ(canvas->State, csHandle | csFont | csBrush);
  canvas->FillRect(RECT{0, 0, 4, 4});
  EXPECT_EQ(surface.Pixel(1, 1), RGB(40, 50, 60));
  EXPECT_EQ(surface.Pixel(5, 5), RGB(0, 0, 0));
  canvas->MoveTo(3, 4);
  POINT p{};
  MoveToEx(surface.dc(), 0, 0, &p);  // answers where the pen was
  EXPECT_EQ(p.x, 3);
  EXPECT_EQ(p.y, 4);
  // Letting go of a DC that is not the canvas's own: the stock objects are selected back.
  canvas->FromPaint = 1;
  canvas->SetHandle(nullptr);
  EXPECT_EQ(canvas->DC, nullptr);
  EXPECT_EQ(canvas->State, 0u);
  EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetCurrentObject(surface.dc(), OBJ_BRUSH), GetStockObject(NULL_BRUSH));
  const auto held = CensusHeld(TCensusKind::GdiObject);
  Free(canvas);  // frees its tools and their objects, which are no longer selected
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held - 2);
}

TEST_F(Graphics, CanvasFillFallbacksAndTextExtent) {
  MemorySurface surface(8, 8);
  // No brush and no owner: the window colour.
  TCanvas* plain = NewCanvas(surface.dc());
  plain->FromPaint = 1;
  plain->FillRect(RECT{0, 0, 2, 2});
  EXPECT_EQ(surface.Pixel(0, 0), GetSysColor(COLOR_WINDOW));
  Free(plain);
  // No brush, an owner without a brush: a brush of the owner's colour, made and deleted.
  TControl* form = Form();
  form->Color = RGB(70, 80, 90);
  TCanvas* owned = NewCanvas(surface.dc());
  owned->Owner = form;
  owned->FromPaint = 1;
  const auto held = CensusHeld(TCensusKind::GdiObject);
  owned->FillRect(RECT{2, 2, 4, 4});
  EXPECT_EQ(surface.Pixel(3, 3), RGB(70, 80, 90));
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held);
  // An owner with a brush tool: its brush.
  form->GetBrush()->SetColor(RGB(5, 6, 7));
  owned->FillRect(RECT{4, 4, 6, 6});
  EXPECT_EQ(surface.Pixel(5, 5), RGB(5, 6, 7));
  Free(owned);

  // The extent without a DC: a memory DC for the call, given back.
  TCanvas* loose = NewCanvas(nullptr);
  loose->Font = NewFont();
  const auto dcs = CensusHeld(TCensusKind::DeviceContext);
  const auto dcsMade = CensusMade(TCensusKind::DeviceContext);
  const SIZE ext = loose->TextExtent(kWrite);
  EXPECT_GT(ext.cx, 0);
  EXPECT_GT(ext.cy, 0);
  EXPECT_EQ(CensusHeld(TCensusKind::DeviceContext), dcs);
  EXPECT_EQ(CensusMade(TCensusKind::DeviceContext), dcsMade + 1);
  EXPECT_EQ(loose->TextExtent("").cx, 0);
  EXPECT_EQ(loose->DC, nullptr);
  Free(loose);
}

struct TPaintSeen {
  int calls = 0;
  HDC dc = nullptr;
  HDC canvasDC = nullptr;
};
void PaintBlue(void* data, TControl* c, HDC dc) {
  auto* s = static_cast<TPaintSeen*>(data);
  ++s->calls;
  s->dc = dc;
  TCanvas* canvas = c->Canvas();
  canvas->Brush->SetColor(RGB(0, 0, 255));
  canvas->FillRect(c->ClientRect());
  s->canvasDC = canvas->DC;
}

TEST_F(Graphics, PaintingHookOnPaintAndPrintClient) {
  TControl* form = Form();
  TControl* panel = NewPaintPanel(form);
  TPaintSeen seen;
  panel->SetOnPaint(TOnPaint{PaintBlue, &seen});
  ShowInFront(form);
  ASSERT_TRUE(user::PumpUntil([&] { return seen.calls > 0; }));
  EXPECT_EQ(seen.canvasDC, seen.dc) << "the canvas draws on the paint DC";
  EXPECT_EQ(panel->Canvas()->DC, nullptr) << "and lets go of it after the paint";
  const auto dcs = CensusHeld(TCensusKind::DeviceContext);
  // Invalidations gather; one paint answers them.
  const int calls = seen.calls;
  panel->Invalidate();
  panel->Invalidate();
  UpdateWindow(panel->Handle);
  EXPECT_EQ(seen.calls, calls + 1);
  EXPECT_EQ(CensusHeld(TCensusKind::DeviceContext), dcs);

  // WM_PRINTCLIENT paints into the DC given.
  MemorySurface surface(40, 40);
  panel->Perform(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
  EXPECT_EQ(seen.dc, surface.dc());
  EXPECT_EQ(surface.Pixel(10, 10), RGB(0, 0, 255));
  EXPECT_EQ(panel->Canvas()->DC, nullptr);
}

// ---- Bitmaps ---------------------------------------------------------------------------

HBITMAP FourColours() {
  // 2 x 2: red green / blue white.
  MemorySurface* s = nullptr;
  (void)s;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP b = CreateCompatibleBitmap(screen, 2, 2);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, b);
  SetPixel(dc, 0, 0, RGB(255, 0, 0));
  SetPixel(dc, 1, 0, RGB(0, 255, 0));
  SetPixel(dc, 0, 1, RGB(0, 0, 255));
  SetPixel(dc, 1, 1, RGB(255, 255, 255));
  SelectObject(dc, old);
  DeleteDC(dc);
  return b;
}

void ExpectDoubled(const MemorySurface& s, int x0, int y0) {
  const COLORREF want[2][2] = {{RGB(255, 0, 0), RGB(0, 255, 0)}, {RGB(0, 0, 255), RGB(255, 255, 255)}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(s.Pixel(x0 + x, y0 + y), want[y / 2][x / 2]) << "at " << x << "," << y;
    }
  }
}

TEST_F(Graphics, BitmapHandlesEmptinessAndOwnership) {
  const auto made = CensusMade(TCensusKind::GdiObject);
  TBitmap* empty = NewBitmap(0, 10);
  EXPECT_TRUE(empty->Empty());
  EXPECT_EQ(empty->Handle, nullptr);
  EXPECT_EQ(CensusMade(TCensusKind::GdiObject), made);
  Free(empty);

  TBitmap* b = NewBitmap(4, 3);
  ASSERT_TRUE(b->Handle);
  EXPECT_FALSE(b->Empty());
  HBITMAP first = b->Handle;
  HBITMAP given = FourColours();
  b->SetHandle(given);
  EXPECT_EQ(GetObjectType(first), 0u) << "the previous handle is deleted";
  EXPECT_EQ(b->Width, 2);
  EXPECT_EQ(b->Height, 2);
  EXPECT_EQ(b->Handle, given);
  b->SetHandle(nullptr);
  EXPECT_TRUE(b->Empty());
  EXPECT_EQ(GetObjectType(given), 0u);
  // Something that is no bitmap leaves it empty, and stays its owner's.
  HBRUSH brush = CreateSolidBrush(RGB(1, 1, 1));
  b->SetHandle(reinterpret_cast<HBITMAP>(brush));
  EXPECT_TRUE(b->Empty());
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  DeleteObject(brush);
  // Freeing the bitmap deletes the handle it owns.
  HBITMAP owned = FourColours();
  b->SetHandle(owned);
  const auto held = CensusHeld(TCensusKind::GdiObject);
  Free(b);
  EXPECT_EQ(GetObjectType(owned), 0u);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held - 1);
}

TEST_F(Graphics, StretchDrawScalesTheHandlePath) {
  TBitmap* b = NewBitmap(0, 0);
  b->SetHandle(FourColours());
  MemorySurface surface(8, 8);
  b->StretchDraw(surface.dc(), RECT{2, 3, 6, 7});
  ExpectDoubled(surface, 2, 3);
  EXPECT_EQ(surface.Pixel(1, 1), RGB(0, 0, 0));
  EXPECT_EQ(surface.Pixel(6, 7), RGB(0, 0, 0));
  const auto dcs = CensusHeld(TCensusKind::DeviceContext);
  b->StretchDraw(surface.dc(), RECT{0, 0, 4, 4});
  EXPECT_EQ(CensusHeld(TCensusKind::DeviceContext), dcs);
  Free(b);
  // Empty bitmaps draw nothing.
  TBitmap* e = NewBitmap(0, 5);
  e->StretchDraw(surface.dc(), RECT{0, 0, 8, 8});
  EXPECT_EQ(surface.Pixel(7, 7), RGB(0, 0, 0));
  Free(e);
}

// 2 x 2 bits, 32 bits a pixel, bottom-up: the same four colours.
struct TBits {
  BITMAPINFOHEADER header{};
  std::uint32_t pixels[4] = {0x000000FFu, 0x00FFFFFFu, 0x00FF0000u, 0x0000FF00u};
  TBits() {
    header.biSize = sizeof header;
    header.biWidth = 2;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
  }
};

std::vector<std::string> gErrors;
void RecordError(const std::string& text) { gErrors.push_back(text); }

TEST_F(Graphics, StretchDrawFromMemoryBitsAndTheSectionFallback) {
  TBits bits;
  TBitmap* b = NewBitmap(0, 0);
  ASSERT_TRUE(b->LoadBits(reinterpret_cast<const BITMAPINFO*>(&bits.header), sizeof bits.header, bits.pixels,
                          sizeof bits.pixels));
  MemorySurface surface(8, 8);
  b->StretchDraw(surface.dc(), RECT{0, 0, 4, 4});
  ExpectDoubled(surface, 0, 0);
  EXPECT_EQ(b->Handle, nullptr) << "drawn straight from the bits";

  // A draw that fails from the bits makes a section of them and goes on with it.
  b->StretchDraw(nullptr, RECT{0, 0, 4, 4});
  ASSERT_TRUE(b->Handle);
  EXPECT_EQ(b->DIBOwned, 1);
  EXPECT_EQ(std::memcmp(b->DIBBits, bits.pixels, sizeof bits.pixels), 0);
  MemorySurface again(8, 8);
  b->StretchDraw(again.dc(), RECT{4, 4, 8, 8});
  ExpectDoubled(again, 4, 4);
  const auto held = CensusHeld(TCensusKind::GdiObject);
  Free(b);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), held - 1);
}

TEST_F(Graphics, TheOneErrorMessageWhenNoSectionCanBeMade) {
  TBits bits;
  bits.header.biBitCount = 7;  // no such format: neither drawn nor made into a section
  TBitmap* b = NewBitmap(0, 0);
  ASSERT_TRUE(b->LoadBits(reinterpret_cast<const BITMAPINFO*>(&bits.header), sizeof bits.header, bits.pixels,
                          sizeof bits.pixels));
  gErrors.clear();
  SetLibraryErrorSink(RecordError);
  MemorySurface surface(8, 8);
  const void* heldBits = b->DIBBits;
  b->StretchDraw(surface.dc(), RECT{0, 0, 4, 4});
  SetLibraryErrorSink(nullptr);
  ASSERT_EQ(gErrors.size(), 1u);
  const std::string prefix = "Can not create DIB section, error: ";
  EXPECT_EQ(gErrors[0].substr(0, prefix.size()), prefix) << gErrors[0];
  const std::string rest = gErrors[0].substr(prefix.size());
  ASSERT_FALSE(rest.empty());
  EXPECT_TRUE(rest[0] >= '0' && rest[0] <= '9') << rest;
  EXPECT_NE(rest.find(", "), std::string::npos) << rest;
  EXPECT_EQ(b->Handle, nullptr);
  EXPECT_EQ(b->DIBBits, heldBits) << "the bits stay";
  EXPECT_EQ(surface.Pixel(1, 1), RGB(0, 0, 0));
  Free(b);
}

}  // namespace

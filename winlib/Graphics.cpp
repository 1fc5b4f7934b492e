#include "winlib/Graphics.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/system.h"
#include "winlib/Controls.h"
#include "winlib/Convert.h"
#include "winlib/Cp1251.h"
#include "winlib/WinText.h"

COLORREF ResolveColor(std::int32_t color) {
  if (IsSysColor(color)) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color) & 0x00FFFFFF;
}

namespace {

std::atomic<bool> gBrushBackgrounds{false};

}  // namespace

bool BrushBackgrounds() { return gBrushBackgrounds.load(); }

// ---- Graphic tools ---------------------------------------------------------------------

TGraphicTool* NewBrush() {
  gBrushBackgrounds.store(true);
  auto* t = New<TGraphicTool>(gtBrush);
  const std::int32_t c = SysColor(COLOR_BTNFACE);
  std::memcpy(t->Data + tool::kColor, &c, 4);
  return t;
}

TGraphicTool* NewFont() {
  auto* t = New<TGraphicTool>(gtFont);
  const std::int32_t c = SysColor(COLOR_WINDOWTEXT);
  std::memcpy(t->Data + tool::kColor, &c, 4);
  t->Data[tool::kFontCharSet] = DEFAULT_CHARSET;
  std::memcpy(t->Data + tool::kFontFace, "MS Sans Serif", 13);
  return t;
}

TGraphicTool::~TGraphicTool() = default;

std::int32_t TGraphicTool::GetData(int offset) const {
  std::int32_t v;
  std::memcpy(&v, Data + offset, 4);
  return v;
}

void TGraphicTool::SetData(int offset, std::int32_t value) {
  if (offset < 0 || offset > 60 || GetData(offset) == value) return;
  std::memcpy(Data + offset, &value, 4);
  Changed();
}

void TGraphicTool::SetByte(int offset, std::uint8_t value) {
  if (Data[offset] == value) return;
  Data[offset] = value;
  Changed();
}

void TGraphicTool::SetColor(std::int32_t color) {
  if (Color() != color) {
    std::memcpy(Data + tool::kColor, &color, 4);
    Changed();
  }
  ResolvedColor = ResolveColor(color);
}

void TGraphicTool::Changed() {
  TGdiObject old = std::move(GdiHandle);
  if (old) {
    // The owner lets go of the object (deselects it, re-applies its font) before it goes.
    if (OnChange.Proc) OnChange.Proc(OnChange.Data, this);
    old.Reset();
  }
  if (OnChange.Proc) OnChange.Proc(OnChange.Data, this);
}

HGDIOBJ TGraphicTool::Handle() {
  TGraphicTool* t = this;
  for (;;) {
    // A system colour that changed since the object was made: the object is made anew.
    if (t->GdiHandle && ResolveColor(t->Color()) != t->ResolvedColor) t->GdiHandle.Reset();
    if (t->GdiHandle) return t->GdiHandle;
    TGraphicTool* p = t->ParentTool;
    if (!p || p->Kind != t->Kind || std::memcmp(p->Data, t->Data, sizeof Data) != 0) break;
    t = p;
  }
  t->GdiHandle = t->Create();
  return t->GdiHandle;
}

TGdiObject TGraphicTool::Create() {
  ResolvedColor = ResolveColor(Color());
  if (Kind == gtFont) {
    LOGFONTW lf{};
    lf.lfHeight = GetData(tool::kFontHeight);
    lf.lfWidth = GetData(tool::kFontWidth);
    lf.lfEscapement = GetData(tool::kFontEscapement);
    lf.lfOrientation = GetData(tool::kFontOrientation);
    lf.lfWeight = GetData(tool::kFontWeight);
    lf.lfItalic = Data[tool::kFontItalic];
    lf.lfUnderline = Data[tool::kFontUnderline];
    lf.lfStrikeOut = Data[tool::kFontStrikeOut];
    lf.lfCharSet = Data[tool::kFontCharSet];
    lf.lfOutPrecision = Data[tool::kFontOutPrecision];
    lf.lfClipPrecision = Data[tool::kFontClipPrecision];
    lf.lfQuality = Data[tool::kFontQuality];
    lf.lfPitchAndFamily = Data[tool::kFontPitchAndFamily];
    const TWideString face = ToWide(FontName());
    for (std::size_t i = 0; i < face.size() && i < 31; ++i) lf.lfFaceName[i] = face[i];
    return TGdiObject(CreateFontIndirectW(&lf));
  }
  LOGBRUSH lb{};
  // GDI handles are 32-bit values sign-extended to the pointer size.
  HBITMAP pattern = reinterpret_cast<HBITMAP>(static_cast<std::intptr_t>(GetData(tool::kBrushBitmap)));
  lb.lbStyle = pattern ? BS_PATTERN : (Data[tool::kBrushStyle] == 1 ? BS_NULL : BS_SOLID);
  lb.lbColor = ResolvedColor;
  lb.lbHatch = reinterpret_cast<ULONG_PTR>(pattern);
  return TGdiObject(CreateBrushIndirect(&lb));
}

std::string TGraphicTool::FontName() const {
  const char* face = reinterpret_cast<const char*>(Data + tool::kFontFace);
  std::size_t n = 0;
  while (n < tool::kFontFaceSize && face[n] != '\0') ++n;
  return std::string(face, n);
}

void TGraphicTool::SetFontName(const std::string& name) {
  std::string cut = name.substr(0, name.find('\0'));
  if (cut.size() > tool::kFontFaceSize - 1) cut.resize(tool::kFontFaceSize - 1);
  if (cut == FontName()) return;
  std::memset(Data + tool::kFontFace, 0, tool::kFontFaceSize);
  std::memcpy(Data + tool::kFontFace, cut.data(), cut.size());
  Changed();
}

void TGraphicTool::SetCharSet(std::uint8_t charset) { SetByte(tool::kFontCharSet, charset); }

int TGraphicTool::FontStyle() const {
  int bits = 0;
  if (GetData(tool::kFontWeight) >= FW_BOLD) bits |= kFontBold;
  if (Data[tool::kFontItalic]) bits |= kFontItalicBit;
  if (Data[tool::kFontUnderline]) bits |= kFontUnderlineBit;
  if (Data[tool::kFontStrikeOut]) bits |= kFontStrikeOutBit;
  return bits;
}

void TGraphicTool::SetFontStyle(int bits) {
  if ((bits & 15) == FontStyle()) return;
  std::int32_t weight = GetData(tool::kFontWeight);
  if (bits & kFontBold) {
    if (weight < FW_BOLD) weight = FW_BOLD;
  } else if (weight >= FW_BOLD) {
    weight = FW_DONTCARE;
  }
  std::memcpy(Data + tool::kFontWeight, &weight, 4);
  Data[tool::kFontItalic] = (bits & kFontItalicBit) ? 1 : 0;
  Data[tool::kFontUnderline] = (bits & kFontUnderlineBit) ? 1 : 0;
  Data[tool::kFontStrikeOut] = (bits & kFontStrikeOutBit) ? 1 : 0;
  Changed();
}

void TGraphicTool::SetBrushBitmap(HBITMAP bitmap) {
  // The data block holds 32 bits of the handle: GDI handles fit in 32 bits on 64-bit
  // Windows too (they are shared with 32-bit processes).
  SetData(tool::kBrushBitmap, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(bitmap)));
}

void TGraphicTool::SetBrushStyle(std::uint8_t style) { SetByte(tool::kBrushStyle, style); }

TGraphicTool* AssignTool(TGraphicTool* dest, TGraphicTool* source) {
  if (!source) {
    Free(dest);
    return nullptr;
  }
  if (!dest) dest = source->Kind == gtFont ? NewFont() : NewBrush();
  if (dest == source) return dest;
  if (dest->GdiHandle && dest->GdiHandle == source->GdiHandle) return dest;
  dest->Changed();
  std::memcpy(dest->Data, source->Data, sizeof dest->Data);
  dest->Changed();
  return dest;
}

// ---- Canvas ----------------------------------------------------------------------------

namespace {

struct TStock {
  HGDIOBJ pen, brush, font;
};

const TStock& Stock() {
  static const TStock s{GetStockObject(BLACK_PEN), GetStockObject(NULL_BRUSH), GetStockObject(SYSTEM_FONT)};
  return s;
}

}  // namespace

TCanvas* NewCanvas(HDC dc) {
  TCanvas* c = New<TCanvas>();
  if (dc) c->SetHandle(dc);
  return c;
}

TCanvas::~TCanvas() {
  SetHandle(nullptr);
  Free(Brush);
  Free(Font);
  Free(Pen);
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == DC) return;
  Attach(dc ? TDeviceContext::Adopt(dc) : TDeviceContext());
}

void TCanvas::Attach(TDeviceContext dc) {
  if (DC) {
    if (State & (csPen | csBrush | csFont)) {
      const TStock& s = Stock();
      SelectObject(DC, s.pen);
      SelectObject(DC, s.brush);
      SelectObject(DC, s.font);
    }
    // The owner's paint DC is given back by the paint (EndPaint).
    if (FromPaint) {
      held_.Forget();
    } else {
      held_.Reset();
    }
    DC = nullptr;
    FromPaint = 0;
    State = 0;
  }
  held_ = std::move(dc);
  if (held_) {
    DC = held_.Get();
    State |= csHandle;
    MoveToEx(DC, PenPos.x, PenPos.y, nullptr);
  }
}

HDC TCanvas::RequiredState(std::uint32_t flags) {
  if ((flags & csNotify) && OnChange.Proc) OnChange.Proc(OnChange.Data, this);
  if ((flags & csHandle) && !DC && GetDCProc) {
    if (TDeviceContext dc = GetDCProc(this)) Attach(std::move(dc));
  }
  if (!DC) return nullptr;
  const std::uint32_t todo = flags & ~State & (csPen | csBrush | csFont);
  if (todo & csFont) {
    if (Font) {
      SetTextColor(DC, ResolveColor(Font->Color()));
      SelectObject(DC, Font->Handle());
    } else if (Owner) {
      SetTextColor(DC, ResolveColor(Owner->TextColor));
    }
  }
  if ((todo & csPen) && Pen) {
    SelectObject(DC, Pen->Handle());
  }
  if (todo & csBrush) {
    if (Brush) {
      SelectObject(DC, Brush->Handle());
      const COLORREF c = ResolveColor(Brush->Color());
      if (Brush->Data[tool::kBrushStyle] == 0 && Brush->GetData(tool::kBrushBitmap) == 0) {
        SetBkColor(DC, c);
        SetBkMode(DC, OPAQUE);
      } else {
        SetBkColor(DC, ~c & 0x00FFFFFF);
        SetBkMode(DC, TRANSPARENT);
      }
    } else if (Owner) {
      SetBkColor(DC, ResolveColor(Owner->Color));
      SetBkMode(DC, OPAQUE);
    }
  }
  State |= todo;
  return DC;
}

void TCanvas::FillRect(const RECT& rect) {
  HDC dc = RequiredState(csHandle | csBrush | csNotify);
  if (!dc) return;
  if (Brush) {
    ::FillRect(dc, &rect, static_cast<HBRUSH>(Brush->Handle()));
  } else if (Owner && Owner->Brush) {
    ::FillRect(dc, &rect, static_cast<HBRUSH>(Owner->Brush->Handle()));
  } else if (Owner) {
    const TBrushObject b(CreateSolidBrush(ResolveColor(Owner->Color)));
    ::FillRect(dc, &rect, b);
  } else {
    ::FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
  }
}

void TCanvas::MoveTo(int x, int y) {
  if (HDC dc = RequiredState(csHandle)) MoveToEx(dc, x, y, nullptr);
  PenPos = POINT{x, y};
}

SIZE TCanvas::TextExtent(const std::string& text) {
  SIZE size{0, 0};
  const TWideString w = ToWide(text);
  if (!DC) {
    const TDeviceContext mem = TDeviceContext::Memory();
    if (!mem) return size;
    const TSelection font(mem.Get(), Font ? Font->Handle() : Stock().font);
    GetTextExtentPoint32W(mem.Get(), w.c_str(), static_cast<int>(w.size()), &size);
    return size;
  }
  if (HDC dc = RequiredState(csHandle | csFont)) GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  return size;
}

// ---- Bitmaps ---------------------------------------------------------------------------

namespace {

std::atomic<TLibraryErrorSink> gErrorSink{nullptr};

// The library's error message: `text`, then the system's text for `code`. The box shows the
// system's text as the system gives it (in any language); a sink gets the program's text.
void LibraryError(const std::string& text, DWORD code) {
  if (TLibraryErrorSink sink = gErrorSink.load()) {
    sink(text + SysErrorText(code));
    return;
  }
  std::u16string system = Utf8ToUtf16(zorv::platform::SystemErrorText(code));
  while (!system.empty() && system.back() < u'!') system.pop_back();
  TWideString w = ToWide(text);
  w.append(system.begin(), system.end());
  const TWideString caption = ToWide("Error");
  MessageBoxW(nullptr, w.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace

void SetLibraryErrorSink(TLibraryErrorSink sink) { gErrorSink.store(sink); }

TBitmap* NewBitmap(int width, int height) {
  TBitmap* b = New<TBitmap>();
  b->Width = width;
  b->Height = height;
  b->HandleType = 1;
  if (width != 0 && height != 0) {
    const TDeviceContext screen = TDeviceContext::OfWindow(nullptr);
    b->Handle.Reset(CreateCompatibleBitmap(screen.Get(), width, height));
  }
  return b;
}

TBitmap::~TBitmap() { Clear(); }

void TBitmap::Clear() {
  Free(Canvas);
  Canvas = nullptr;
  if (Handle) {
    Handle.Reset();
    // Bits of a DIB section went with it.
    if (DIBOwned) DIBBits = nullptr;
  }
  if (!DIBOwned) std::free(DIBBits);
  DIBBits = nullptr;
  std::free(DIBHeader);
  DIBHeader = nullptr;
  DIBSize = 0;
  TransparentColor = -1;
  Width = Height = 0;
  DIBOwned = 0;
}

void TBitmap::SetHandle(HBITMAP h) {
  Clear();
  if (!h) return;
  // GetObject answers for any GDI object: a brush or font given here is not taken over.
  BITMAP bm{};
  if (GetObjectType(h) != OBJ_BITMAP || GetObjectW(h, sizeof bm, &bm) == 0) return;
  Width = bm.bmWidth;
  Height = bm.bmHeight;
  // The bitmap owns h from now on.
  Handle.Reset(h);
  HandleType = 1;
}

bool TBitmap::LoadBits(const BITMAPINFO* header, std::size_t headerSize, const void* bits, std::size_t size) {
  Clear();
  if (!header || headerSize < sizeof(BITMAPINFOHEADER) || !bits || size == 0 || size > 0x7FFFFFFF) return false;
  const std::int32_t w = header->bmiHeader.biWidth;
  const std::int32_t h = header->bmiHeader.biHeight;
  if (w <= 0 || h == 0) return false;
  DIBHeader = static_cast<BITMAPINFO*>(std::malloc(headerSize));
  DIBBits = std::malloc(size);
  if (!DIBHeader || !DIBBits) {
    std::free(DIBHeader);
    std::free(DIBBits);
    DIBHeader = nullptr;
    DIBBits = nullptr;
    return false;
  }
  std::memcpy(DIBHeader, header, headerSize);
  std::memcpy(DIBBits, bits, size);
  DIBSize = static_cast<std::int32_t>(size);
  Width = w;
  Height = h < 0 ? -h : h;
  return true;
}

bool TBitmap::MakeDIBSection() {
  if (Empty() || Handle || !DIBBits || !DIBHeader) return false;
  void* sectionBits = nullptr;
  DWORD error = ERROR_SUCCESS;
  TBitmapObject section;
  {
    const TDeviceContext screen = TDeviceContext::OfWindow(nullptr);
    SetLastError(ERROR_SUCCESS);
    HBITMAP made = CreateDIBSection(screen.Get(), DIBHeader, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    error = GetLastError();  // before the screen's DC goes back
    section.Reset(made);
  }
  if (!section || !sectionBits) {
    section.Reset();
    LibraryError("Can not create DIB section, error: " + Int2Str(static_cast<std::int32_t>(error)) + ", ", error);
    return false;
  }
  std::memcpy(sectionBits, DIBBits, static_cast<std::size_t>(DIBSize));
  if (!DIBOwned) std::free(DIBBits);
  DIBBits = sectionBits;
  Handle = std::move(section);
  DIBOwned = 1;
  return true;
}

void TBitmap::StretchDraw(HDC dc, const RECT& rect) {
  if (Empty()) return;
  if (!Handle && DIBBits && DIBHeader) {
    const int lines = StretchDIBits(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0, 0,
                                    Width, Height, DIBBits, DIBHeader, DIB_RGB_COLORS, SRCCOPY);
    if (lines > 0) return;
    // The failed draw ends here when not even a section can be made.
    if (!MakeDIBSection()) return;
  }
  if (!Handle) return;
  const TDeviceContext mem = TDeviceContext::Memory();
  if (!mem) return;
  const TSelection picture(mem.Get(), Handle);
  StretchBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, mem.Get(), 0, 0, Width, Height,
             SRCCOPY);
}

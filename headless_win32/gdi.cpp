// Headless window system, GDI: objects (pens, brushes, fonts, bitmaps, regions) with their
// state, device contexts, the system colours, the fixed text metric, the drawing log and
// the pixels of memory bitmaps.
#include <algorithm>
#include <cstring>

#include "headless_win32/internal.h"

namespace zorv::winsys {

struct GdiObject {
  GdiKind kind = GdiKind::Brush;
  bool stock = false;
  int sysColor = -1;  // brush of a system colour: its colour follows SetSysColors
  int selected = 0;   // in how many DCs it is selected
  LOGBRUSH brush{};
  std::vector<COLORREF> pattern;  // pattern brushes: the bitmap's pixels
  int patternW = 0, patternH = 0;
  LOGPEN pen{};
  LOGFONTW font{};
  // Bitmaps: either our own pixels or the bits of a DIB section in DIB layout.
  int width = 0, height = 0, bpp = 32;
  std::vector<COLORREF> pixels;
  std::vector<BYTE> dib;
  std::vector<COLORREF> palette;  // colour table of a DIB section of 8 bits or fewer
  bool topDown = false;
  RECT rgn{};  // regions: the bounding rectangle
};

struct DcState {
  bool memory = false;
  HWND hwnd = nullptr;
  HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
  COLORREF text = 0;
  COLORREF bk = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  int stretch = BLACKONWHITE;
  POINT brushOrg{};
  POINT pos{};
  bool hasClip = false;
  RECT clip{};
};

namespace {

constexpr int kSysColors = 31;
// Bitmaps larger than this fail as Win32 fails when it runs out of memory.
constexpr unsigned long long kMaxPixels = 1ull << 26;
COLORREF sysColors[kSysColors] = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(10, 36, 106),   RGB(212, 208, 200)};

HGDIOBJ stockObjects[20] = {};
HGDIOBJ sysBrushes[kSysColors] = {};
HGDIOBJ defaultBitmap = nullptr;

HGDIOBJ AddObjectLocked(std::shared_ptr<GdiObject> o) {
  const UINT_PTR h = NewHandleValue();
  S().gdi[h] = std::move(o);
  return HandleOf<HGDIOBJ>(h);
}

void EnsureStockLocked() {
  if (defaultBitmap) return;
  auto brush = [](COLORREF c, UINT style) {
    auto o = std::make_shared<GdiObject>();
    o->kind = GdiKind::Brush;
    o->stock = true;
    o->brush = LOGBRUSH{style, c, 0};
    return AddObjectLocked(o);
  };
  auto pen = [](COLORREF c, UINT style) {
    auto o = std::make_shared<GdiObject>();
    o->kind = GdiKind::Pen;
    o->stock = true;
    o->pen = LOGPEN{style, POINT{1, 0}, c};
    return AddObjectLocked(o);
  };
  auto font = [](const char16_t* face, bool fixed) {
    auto o = std::make_shared<GdiObject>();
    o->kind = GdiKind::Font;
    o->stock = true;
    o->font.lfHeight = -13;
    o->font.lfWeight = FW_NORMAL;
    o->font.lfCharSet = DEFAULT_CHARSET;
    o->font.lfPitchAndFamily = fixed ? FIXED_PITCH : VARIABLE_PITCH;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) o->font.lfFaceName[i] = face[i];
    return AddObjectLocked(o);
  };
  stockObjects[WHITE_BRUSH] = brush(RGB(255, 255, 255), BS_SOLID);
  stockObjects[LTGRAY_BRUSH] = brush(RGB(192, 192, 192), BS_SOLID);
  stockObjects[GRAY_BRUSH] = brush(RGB(128, 128, 128), BS_SOLID);
  stockObjects[DKGRAY_BRUSH] = brush(RGB(64, 64, 64), BS_SOLID);
  stockObjects[BLACK_BRUSH] = brush(RGB(0, 0, 0), BS_SOLID);
  stockObjects[NULL_BRUSH] = brush(0, BS_NULL);
  stockObjects[WHITE_PEN] = pen(RGB(255, 255, 255), PS_SOLID);
  stockObjects[BLACK_PEN] = pen(RGB(0, 0, 0), PS_SOLID);
  stockObjects[NULL_PEN] = pen(0, PS_NULL);
  stockObjects[OEM_FIXED_FONT] = font(u"Terminal", true);
  stockObjects[ANSI_FIXED_FONT] = font(u"Courier", true);
  stockObjects[ANSI_VAR_FONT] = font(u"MS Sans Serif", false);
  stockObjects[SYSTEM_FONT] = font(u"System", false);
  stockObjects[DEVICE_DEFAULT_FONT] = font(u"System", false);
  stockObjects[SYSTEM_FIXED_FONT] = font(u"Fixedsys", true);
  stockObjects[DEFAULT_GUI_FONT] = font(u"MS Shell Dlg", false);
  stockObjects[DC_BRUSH] = brush(RGB(255, 255, 255), BS_SOLID);
  stockObjects[DC_PEN] = pen(RGB(0, 0, 0), PS_SOLID);
  for (int i = 0; i < kSysColors; ++i) {
    auto o = std::make_shared<GdiObject>();
    o->kind = GdiKind::Brush;
    o->stock = true;
    o->sysColor = i;
    o->brush = LOGBRUSH{BS_SOLID, 0, 0};
    sysBrushes[i] = AddObjectLocked(o);
  }
  auto bmp = std::make_shared<GdiObject>();
  bmp->kind = GdiKind::Bitmap;
  bmp->stock = true;
  bmp->width = bmp->height = 1;
  bmp->bpp = 1;
  bmp->pixels.assign(1, RGB(0, 0, 0));
  defaultBitmap = AddObjectLocked(bmp);
}

std::shared_ptr<GdiObject> ObjLocked(HGDIOBJ h) {
  EnsureStockLocked();
  auto it = S().gdi.find(Key(h));
  return it == S().gdi.end() ? nullptr : it->second;
}

std::shared_ptr<GdiObject> ObjLocked(HGDIOBJ h, GdiKind kind) {
  auto o = ObjLocked(h);
  return o && o->kind == kind ? o : nullptr;
}

std::shared_ptr<DcState> DcLocked(HDC dc) {
  EnsureStockLocked();
  auto it = S().dcs.find(Key(dc));
  return it == S().dcs.end() ? nullptr : it->second;
}

void Select(HGDIOBJ& slot, HGDIOBJ obj) {
  if (auto old = ObjLocked(slot)) old->selected--;
  slot = obj;
  if (auto o = ObjLocked(obj)) o->selected++;
}

HDC NewDcLocked(bool memory, HWND hwnd, const RECT* clip) {
  EnsureStockLocked();
  auto d = std::make_shared<DcState>();
  d->memory = memory;
  d->hwnd = hwnd;
  Select(d->pen, stockObjects[BLACK_PEN]);
  Select(d->brush, stockObjects[WHITE_BRUSH]);
  Select(d->font, stockObjects[SYSTEM_FONT]);
  if (memory) Select(d->bitmap, defaultBitmap);
  if (clip) {
    d->hasClip = true;
    d->clip = *clip;
  }
  const UINT_PTR h = NewHandleValue();
  S().dcs[h] = d;
  return HandleOf<HDC>(h);
}

void FreeDcLocked(UINT_PTR key) {
  auto it = S().dcs.find(key);
  if (it == S().dcs.end()) return;
  DcState& d = *it->second;
  Select(d.pen, nullptr);
  Select(d.brush, nullptr);
  Select(d.font, nullptr);
  Select(d.bitmap, nullptr);
  S().dcs.erase(it);
}

COLORREF BrushColorLocked(HBRUSH brush, bool* ok, const GdiObject** objOut = nullptr) {
  *ok = true;
  const UINT_PTR v = Key(brush);
  if (v > 0 && v <= kSysColors) return sysColors[v - 1];  // (HBRUSH)(COLOR_xxx + 1)
  auto o = ObjLocked(brush, GdiKind::Brush);
  if (!o) {
    *ok = false;
    return 0;
  }
  if (objOut) *objOut = o.get();
  if (o->sysColor >= 0) return sysColors[o->sysColor];
  return o->brush.lbColor;
}

// Pixels of a bitmap.
bool HasPixels(const GdiObject& b) { return !b.pixels.empty() || !b.dib.empty(); }

std::size_t DibStride(int width, int bpp) { return ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4; }

// The colour index of pixel x of a row of 1, 4 or 8 bits a pixel.
std::size_t PaletteIndex(const BYTE* row, int x, int bpp) {
  if (bpp == 8) return row[x];
  if (bpp == 4) return (row[x / 2] >> ((x % 2) ? 0 : 4)) & 0xF;
  return (row[x / 8] >> (7 - x % 8)) & 1;
}

COLORREF GetPx(const GdiObject& b, int x, int y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return CLR_INVALID;
  if (!b.pixels.empty()) return b.pixels[static_cast<std::size_t>(y) * b.width + x];
  if (b.dib.empty()) return CLR_INVALID;
  const int row = b.topDown ? y : b.height - 1 - y;
  const BYTE* p = b.dib.data() + static_cast<std::size_t>(row) * DibStride(b.width, b.bpp);
  if (b.bpp == 32) return RGB(p[x * 4 + 2], p[x * 4 + 1], p[x * 4]);
  if (b.bpp == 24) return RGB(p[x * 3 + 2], p[x * 3 + 1], p[x * 3]);
  const std::size_t index = PaletteIndex(p, x, b.bpp);
  return index < b.palette.size() ? b.palette[index] : 0;
}

void SetPx(GdiObject& b, int x, int y, COLORREF c) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
  if (b.bpp == 1) c = (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3 >= 128 ? RGB(255, 255, 255) : 0;
  if (!b.pixels.empty()) {
    b.pixels[static_cast<std::size_t>(y) * b.width + x] = c & 0xFFFFFF;
    return;
  }
  if (b.dib.empty()) return;
  const int row = b.topDown ? y : b.height - 1 - y;
  BYTE* p = b.dib.data() + static_cast<std::size_t>(row) * DibStride(b.width, b.bpp);
  if (b.bpp == 32) {
    p[x * 4] = GetBValue(c);
    p[x * 4 + 1] = GetGValue(c);
    p[x * 4 + 2] = GetRValue(c);
  } else if (b.bpp == 24) {
    p[x * 3] = GetBValue(c);
    p[x * 3 + 1] = GetGValue(c);
    p[x * 3 + 2] = GetRValue(c);
  } else if (b.bpp <= 8) {
    // The nearest colour of the table, as drawing into a paletted DIB section does.
    std::size_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < b.palette.size(); ++i) {
      const long dr = GetRValue(b.palette[i]) - GetRValue(c), dg = GetGValue(b.palette[i]) - GetGValue(c),
                 db = GetBValue(b.palette[i]) - GetBValue(c);
      const long d = dr * dr + dg * dg + db * db;
      if (bestDistance < 0 || d < bestDistance) {
        best = i;
        bestDistance = d;
      }
    }
    const int shift = b.bpp == 8 ? 0 : b.bpp == 4 ? ((x % 2) ? 0 : 4) : 7 - x % 8;
    const BYTE mask = static_cast<BYTE>(((1 << b.bpp) - 1) << shift);
    BYTE& byte = p[static_cast<std::size_t>(x) * b.bpp / 8];
    byte = static_cast<BYTE>((byte & ~mask) | ((best << shift) & mask));
  }
}

// The memory bitmap a DC draws into, if it holds pixels.
GdiObject* TargetLocked(const DcState& d) {
  if (!d.memory) return nullptr;
  auto b = ObjLocked(d.bitmap, GdiKind::Bitmap);
  return b && HasPixels(*b) ? b.get() : nullptr;
}

RECT Clipped(const DcState& d, const GdiObject& b, RECT r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, b.width);
  r.bottom = std::min<LONG>(r.bottom, b.height);
  if (d.hasClip) {
    r.left = std::max(r.left, d.clip.left);
    r.top = std::max(r.top, d.clip.top);
    r.right = std::min(r.right, d.clip.right);
    r.bottom = std::min(r.bottom, d.clip.bottom);
  }
  return r;
}

void LogLocked(headless::DrawOp op, HDC dc, const DcState& d, RECT rect, COLORREF color,
               RECT source = RECT{}, DWORD rop = 0, std::u16string text = {}) {
  headless::DrawCall c;
  c.op = op;
  c.dc = dc;
  c.hwnd = d.memory ? nullptr : d.hwnd;
  c.rect = rect;
  c.source = source;
  c.color = color;
  c.stretchMode = d.stretch;
  c.rop = rop;
  c.text = std::move(text);
  S().drawLog.push_back(std::move(c));
}

bool FillLocked(const DcState& d, const RECT& r, HBRUSH brush) {
  GdiObject* t = TargetLocked(d);
  if (!t) return true;
  bool ok;
  const GdiObject* bo = nullptr;
  const COLORREF c = BrushColorLocked(brush, &ok, &bo);
  if (!ok) return false;
  if (bo && bo->brush.lbStyle == BS_NULL) return true;
  const RECT a = Clipped(d, *t, r);
  for (int y = a.top; y < a.bottom; ++y) {
    for (int x = a.left; x < a.right; ++x) {
      COLORREF px = c;
      if (bo && !bo->pattern.empty()) {
        const int px0 = ((x - d.brushOrg.x) % bo->patternW + bo->patternW) % bo->patternW;
        const int py0 = ((y - d.brushOrg.y) % bo->patternH + bo->patternH) % bo->patternH;
        px = bo->pattern[static_cast<std::size_t>(py0) * bo->patternW + px0];
      }
      SetPx(*t, x, y, px);
    }
  }
  return true;
}

// Nearest-neighbour copy of src (a w x h grid read through get) into the DC's bitmap.
template <class Get>
void CopyScaledLocked(const DcState& d, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, Get get) {
  GdiObject* t = TargetLocked(d);
  if (!t || wd == 0 || hd == 0 || ws == 0 || hs == 0) return;
  const RECT area = Clipped(d, *t, RECT{xd, yd, xd + wd, yd + hd});
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      // Position inside the destination (mirrored when its extent is negative).
      const long fx = wd > 0 ? x - xd : xd - 1 - x;
      const long fy = hd > 0 ? y - yd : yd - 1 - y;
      const long aw = wd > 0 ? wd : -wd, ah = hd > 0 ? hd : -hd;
      long sx = fx * (ws > 0 ? ws : -ws) / aw;
      long sy = fy * (hs > 0 ? hs : -hs) / ah;
      sx = ws > 0 ? xs + sx : xs - 1 - sx;
      sy = hs > 0 ? ys + sy : ys - 1 - sy;
      const COLORREF c = get(static_cast<int>(sx), static_cast<int>(sy));
      if (c != CLR_INVALID) SetPx(*t, x, y, c);
    }
  }
}

}  // namespace

FontMetric MetricOfLocked(HFONT font) {
  auto o = ObjLocked(font, GdiKind::Font);
  int h = o ? std::abs(static_cast<int>(o->font.lfHeight)) : 13;
  if (h == 0) h = 13;
  return FontMetric{h, std::max(1, h / 2)};
}

FontMetric MetricOf(HFONT font) {
  Lock lock(S().mutex);
  return MetricOfLocked(font);
}

COLORREF SysColorLocked(int index) {
  return index >= 0 && index < kSysColors ? sysColors[index] : 0;
}

HDC NewWindowDc(HWND h, const RECT* clip) {
  Lock lock(S().mutex);
  return NewDcLocked(false, h, clip);
}

bool SetRegionRect(HRGN region, const RECT& r) {
  Lock lock(S().mutex);
  auto o = ObjLocked(region, GdiKind::Region);
  if (!o) return false;
  o->rgn = r;
  return true;
}

}  // namespace zorv::winsys

using namespace zorv::winsys;
using zorv::headless::DrawOp;

// ---------------------------------------------------------------------------------------
// System colours

DWORD WINAPI GetSysColor(int index) {
  Lock lock(S().mutex);
  return SysColorLocked(index);
}

HBRUSH WINAPI GetSysColorBrush(int index) {
  Lock lock(S().mutex);
  EnsureStockLocked();
  if (index < 0 || index >= kSysColors) return nullptr;
  return static_cast<HBRUSH>(sysBrushes[index]);
}

BOOL WINAPI SetSysColors(int count, const INT* elements, const COLORREF* colors) {
  if (count < 0 || (count > 0 && (!elements || !colors))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<HWND> tops;
  {
    Lock lock(S().mutex);
    for (int i = 0; i < count; ++i) {
      if (elements[i] >= 0 && elements[i] < kSysColors) sysColors[elements[i]] = colors[i] & 0xFFFFFF;
    }
    tops = FindWindowLocked(S().desktop)->children;
  }
  for (HWND h : tops) SendNotifyMessageW(h, WM_SYSCOLORCHANGE, 0, 0);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Objects

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Lock lock(S().mutex);
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::Font;
  o->font = *font;
  return static_cast<HFONT>(AddObjectLocked(o));
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* brush) {
  if (!brush) return nullptr;
  Lock lock(S().mutex);
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::Brush;
  o->brush = *brush;
  o->brush.lbColor &= 0xFFFFFF;
  if (brush->lbStyle == BS_PATTERN) {
    auto b = ObjLocked(reinterpret_cast<HGDIOBJ>(brush->lbHatch), GdiKind::Bitmap);
    if (!b) return nullptr;
    o->patternW = b->width;
    o->patternH = b->height;
    if (HasPixels(*b) && b->width > 0 && b->height > 0) {
      for (int y = 0; y < b->height; ++y)
        for (int x = 0; x < b->width; ++x) o->pattern.push_back(GetPx(*b, x, y));
      o->brush.lbColor = o->pattern.front();
    }
  }
  return static_cast<HBRUSH>(AddObjectLocked(o));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  Lock lock(S().mutex);
  auto o = ObjLocked(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (o->stock) return TRUE;
  if (o->selected > 0) return FALSE;  // still selected into a DC
  S().gdi.erase(Key(object));
  return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int index) {
  Lock lock(S().mutex);
  EnsureStockLocked();
  if (index < 0 || index >= 20) return nullptr;
  return stockObjects[index];
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  auto o = ObjLocked(object);
  if (!d || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ* slot = nullptr;
  switch (o->kind) {
    case GdiKind::Pen: slot = &d->pen; break;
    case GdiKind::Brush: slot = &d->brush; break;
    case GdiKind::Font: slot = &d->font; break;
    case GdiKind::Bitmap:
      if (!d->memory) return nullptr;
      if (o->selected > 0 && d->bitmap != object && !o->stock) return nullptr;  // one DC at a time
      slot = &d->bitmap;
      break;
    case GdiKind::Region:
      d->hasClip = true;
      d->clip = o->rgn;
      return reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(
          o->rgn.left >= o->rgn.right || o->rgn.top >= o->rgn.bottom ? NULLREGION : SIMPLEREGION));
  }
  HGDIOBJ previous = *slot;
  Select(*slot, object);
  return previous;
}

int WINAPI GetObjectW(HANDLE object, int size, LPVOID buffer) {
  Lock lock(S().mutex);
  auto o = ObjLocked(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto copy = [&](const void* src, int n) {
    if (!buffer) return n;
    const int m = std::min(n, size);
    if (m <= 0) return 0;
    std::memcpy(buffer, src, static_cast<std::size_t>(m));
    return m;
  };
  switch (o->kind) {
    case GdiKind::Brush: {
      LOGBRUSH lb = o->brush;
      if (o->sysColor >= 0) lb.lbColor = sysColors[o->sysColor];
      return copy(&lb, sizeof lb);
    }
    case GdiKind::Pen: return copy(&o->pen, sizeof o->pen);
    case GdiKind::Font: return copy(&o->font, sizeof o->font);
    case GdiKind::Bitmap: {
      BITMAP bm{};
      bm.bmWidth = o->width;
      bm.bmHeight = o->height;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = static_cast<WORD>(o->bpp);
      bm.bmWidthBytes = static_cast<LONG>(((static_cast<std::size_t>(o->width) * o->bpp + 15) / 16) * 2);
      bm.bmBits = o->dib.empty() ? nullptr : o->dib.data();
      return copy(&bm, sizeof bm);
    }
    default: return 0;
  }
}

DWORD WINAPI GetObjectType(HGDIOBJ object) {
  Lock lock(S().mutex);
  if (auto d = DcLocked(static_cast<HDC>(object))) return d->memory ? OBJ_MEMDC : OBJ_DC;
  auto o = ObjLocked(object);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (o->kind) {
    case GdiKind::Pen: return OBJ_PEN;
    case GdiKind::Brush: return OBJ_BRUSH;
    case GdiKind::Font: return OBJ_FONT;
    case GdiKind::Bitmap: return OBJ_BITMAP;
    case GdiKind::Region: return OBJ_REGION;
  }
  return 0;
}

HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return nullptr;
  switch (type) {
    case OBJ_PEN: return d->pen;
    case OBJ_BRUSH: return d->brush;
    case OBJ_FONT: return d->font;
    case OBJ_BITMAP: return d->memory ? d->bitmap : nullptr;
    default: return nullptr;
  }
}

// ---------------------------------------------------------------------------------------
// DCs

HDC WINAPI GetDC(HWND hwnd) {
  if (hwnd && !CheckWindow(hwnd)) return nullptr;
  return NewWindowDc(hwnd, nullptr);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d || d->memory) return 0;
  FreeDcLocked(Key(dc));
  return 1;
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
  Lock lock(S().mutex);
  if (dc && !DcLocked(dc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return NewDcLocked(true, nullptr, nullptr);
}

BOOL WINAPI DeleteDC(HDC dc) {
  Lock lock(S().mutex);
  if (!DcLocked(dc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  FreeDcLocked(Key(dc));
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Bitmaps

namespace {
// A memory bitmap of our own pixels, all black; 1 or 32 bits a pixel (width or height 0:
// the default 1 x 1 monochrome bitmap, as Win32 gives).
HBITMAP NewBitmap(int width, int height, int bpp) {
  if (width < 0 || height < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) > kMaxPixels) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Lock lock(S().mutex);
  EnsureStockLocked();
  if (width == 0 || height == 0) return static_cast<HBITMAP>(defaultBitmap);
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::Bitmap;
  o->width = width;
  o->height = height;
  o->bpp = bpp;
  o->pixels.assign(static_cast<std::size_t>(width) * height, 0);
  return static_cast<HBITMAP>(AddObjectLocked(o));
}
}  // namespace

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
  int bpp = 32;
  {
    Lock lock(S().mutex);
    auto d = DcLocked(dc);
    if (!d) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (d->memory) {
      auto b = ObjLocked(d->bitmap, GdiKind::Bitmap);
      if (b) bpp = b->bpp == 1 ? 1 : 32;
    }
  }
  return NewBitmap(width, height, bpp);
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT, VOID** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  const WORD bpp = info ? info->bmiHeader.biBitCount : 0;
  const DWORD compression = info ? info->bmiHeader.biCompression : 0;
  if (!info || info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight == 0 ||
      (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) ||
      !(compression == BI_RGB || (compression == BI_BITFIELDS && bpp == 32)) || info->bmiHeader.biClrUsed > 256) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (static_cast<unsigned long long>(info->bmiHeader.biWidth) *
          static_cast<unsigned long long>(std::abs(static_cast<long long>(info->bmiHeader.biHeight))) >
      kMaxPixels) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Lock lock(S().mutex);
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::Bitmap;
  o->width = info->bmiHeader.biWidth;
  o->height = std::abs(static_cast<int>(info->bmiHeader.biHeight));
  o->topDown = info->bmiHeader.biHeight < 0;
  o->bpp = info->bmiHeader.biBitCount;
  o->dib.assign(DibStride(o->width, o->bpp) * o->height, 0);
  if (o->bpp <= 8) {
    const DWORD colours = info->bmiHeader.biClrUsed ? info->bmiHeader.biClrUsed : 1u << o->bpp;
    const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + info->bmiHeader.biSize);
    for (DWORD i = 0; i < colours; ++i) o->palette.push_back(RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
  }
  if (bits) *bits = o->dib.data();
  return static_cast<HBITMAP>(AddObjectLocked(o));
}

// ---------------------------------------------------------------------------------------
// Drawing

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return 0;
  bool ok;
  const COLORREF c = BrushColorLocked(brush, &ok);
  if (!ok) return 0;
  LogLocked(DrawOp::FillRect, dc, *d, *rect, c);
  FillLocked(*d, *rect, brush);
  return 1;
}

// Copies with SRCCOPY from a memory DC; other raster operations are logged and draw nothing.
BOOL WINAPI StretchBlt(HDC dst, int xd, int yd, int wd, int hd, HDC src, int xs, int ys, int ws, int hs, DWORD rop) {
  Lock lock(S().mutex);
  auto d = DcLocked(dst);
  auto s = DcLocked(src);
  if (!d || !s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  LogLocked(DrawOp::StretchBlt, dst, *d, RECT{xd, yd, xd + wd, yd + hd}, 0, RECT{xs, ys, xs + ws, ys + hs}, rop);
  auto sb = ObjLocked(s->bitmap, GdiKind::Bitmap);
  if (rop != SRCCOPY || !s->memory || !sb || !HasPixels(*sb)) return TRUE;
  if (sb.get() == TargetLocked(*d)) {
    const GdiObject copy = *sb;  // overlapping copy within one bitmap
    CopyScaledLocked(*d, xd, yd, wd, hd, xs, ys, ws, hs, [&](int x, int y) { return GetPx(copy, x, y); });
  } else {
    CopyScaledLocked(*d, xd, yd, wd, hd, xs, ys, ws, hs, [&](int x, int y) { return GetPx(*sb, x, y); });
  }
  return TRUE;
}

int WINAPI StretchDIBits(HDC dc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc, int wSrc,
                         int hSrc, const VOID* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (!info || !bits || usage != DIB_RGB_COLORS) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int bpp = h.biBitCount;
  if (h.biWidth <= 0 || h.biHeight == 0 || !(h.biCompression == BI_RGB || (h.biCompression == BI_BITFIELDS && bpp == 32)) ||
      (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32))
    return 0;
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return 0;
  LogLocked(DrawOp::StretchDIBits, dc, *d, RECT{xDst, yDst, xDst + wDst, yDst + hDst}, 0,
            RECT{xSrc, ySrc, xSrc + wSrc, ySrc + hSrc}, rop);
  const int width = h.biWidth;
  const int height = std::abs(static_cast<int>(h.biHeight));
  const bool topDown = h.biHeight < 0;
  const std::size_t stride = DibStride(width, bpp);
  const auto* base = static_cast<const BYTE*>(bits);
  const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + h.biSize);
  const DWORD tableSize = h.biClrUsed ? h.biClrUsed : (bpp <= 8 ? 1u << bpp : 0);
  auto get = [&](int x, int y) -> COLORREF {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    // Source coordinates count from the top of the image.
    const int row = topDown ? y : height - 1 - y;
    const BYTE* p = base + static_cast<std::size_t>(row) * stride;
    DWORD index;
    switch (bpp) {
      case 32: return RGB(p[x * 4 + 2], p[x * 4 + 1], p[x * 4]);
      case 24: return RGB(p[x * 3 + 2], p[x * 3 + 1], p[x * 3]);
      case 8: index = p[x]; break;
      case 4: index = (p[x / 2] >> ((x % 2) ? 0 : 4)) & 0xF; break;
      default: index = (p[x / 8] >> (7 - x % 8)) & 1; break;
    }
    if (index >= tableSize) return 0;
    return RGB(table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue);
  };
  if (rop == SRCCOPY) {
    // The source rectangle's y counts from the bottom of a bottom-up image, as in Win32.
    const int ys = topDown ? ySrc : height - ySrc - hSrc;
    CopyScaledLocked(*d, xDst, yDst, wDst, hDst, xSrc, ys, wSrc, hSrc, get);
  }
  return std::abs(hSrc);
}

namespace {
// A DC attribute: the new value in, the old one out (fail for an unknown DC).
template <class T>
T SwapDcLocked(HDC dc, T DcState::*field, T value, T fail) {
  auto d = DcLocked(dc);
  if (!d) return fail;
  const T old = (*d).*field;
  (*d).*field = value;
  return old;
}

template <class T>
T SwapDc(HDC dc, T DcState::*field, T value, T fail) {
  Lock lock(S().mutex);
  return SwapDcLocked(dc, field, value, fail);
}

template <class T>
T ReadDc(HDC dc, T DcState::*field, T fail) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  return d ? (*d).*field : fail;
}

BOOL MovePoint(HDC dc, POINT DcState::*field, int x, int y, LPPOINT previous) {
  Lock lock(S().mutex);
  if (!DcLocked(dc)) return FALSE;
  const POINT old = SwapDcLocked(dc, field, POINT{x, y}, POINT{});
  if (previous) *previous = old;
  return TRUE;
}
}  // namespace

int WINAPI SetStretchBltMode(HDC dc, int mode) {
  return mode < BLACKONWHITE || mode > HALFTONE ? 0 : SwapDc(dc, &DcState::stretch, mode, 0);
}
COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) { return SwapDc(dc, &DcState::text, color, CLR_INVALID); }
COLORREF WINAPI GetTextColor(HDC dc) { return ReadDc(dc, &DcState::text, CLR_INVALID); }
COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) { return SwapDc(dc, &DcState::bk, color, CLR_INVALID); }
COLORREF WINAPI GetBkColor(HDC dc) { return ReadDc(dc, &DcState::bk, CLR_INVALID); }
int WINAPI SetBkMode(HDC dc, int mode) {
  return mode != TRANSPARENT && mode != OPAQUE ? 0 : SwapDc(dc, &DcState::bkMode, mode, 0);
}
BOOL WINAPI SetBrushOrgEx(HDC dc, int x, int y, LPPOINT previous) {
  return MovePoint(dc, &DcState::brushOrg, x, y, previous);
}
BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous) { return MovePoint(dc, &DcState::pos, x, y, previous); }

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return CLR_INVALID;
  GdiObject* t = TargetLocked(*d);
  return t ? GetPx(*t, x, y) : CLR_INVALID;
}

COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return static_cast<COLORREF>(-1);
  LogLocked(DrawOp::SetPixel, dc, *d, RECT{x, y, x + 1, y + 1}, color);
  GdiObject* t = TargetLocked(*d);
  if (!t) return color;
  if (x < 0 || y < 0 || x >= t->width || y >= t->height) return static_cast<COLORREF>(-1);
  SetPx(*t, x, y, color);
  return GetPx(*t, x, y);
}

// ---------------------------------------------------------------------------------------
// Text

namespace {
std::u16string TextArg(LPCWSTR text, int count) {
  if (!text) return {};
  if (count < 0) return FromPtr(text);
  return std::u16string(text, static_cast<std::size_t>(count));
}

// Lines of DrawText's text: '&' prefixes processed, broken at line ends and (with a
// width) at word boundaries.
std::vector<std::u16string> LayoutLines(std::u16string s, UINT format, int width, int charW) {
  if (!(format & DT_NOPREFIX)) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == u'&') {
        if (i + 1 < s.size() && s[i + 1] == u'&') out += u'&', ++i;
        continue;
      }
      out += s[i];
    }
    s = out;
  }
  std::vector<std::u16string> lines;
  if (format & DT_SINGLELINE) {
    for (auto& c : s)
      if (c == u'\r' || c == u'\n') c = u' ';
    lines.push_back(s);
    return lines;
  }
  std::u16string cur;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == u'\n') {
      lines.push_back(cur);
      cur.clear();
      continue;
    }
    if (s[i] != u'\r') cur += s[i];
  }
  if (!(format & DT_WORDBREAK) || width <= 0) return lines;
  const std::size_t maxChars = std::max<std::size_t>(1, static_cast<std::size_t>(width / charW));
  std::vector<std::u16string> wrapped;
  for (auto& line : lines) {
    std::u16string rest = line;
    while (rest.size() > maxChars) {
      std::size_t cut = rest.rfind(u' ', maxChars);
      if (cut == std::u16string::npos || cut == 0) cut = maxChars;
      wrapped.push_back(rest.substr(0, cut));
      rest = rest.substr(cut);
      if (!rest.empty() && rest[0] == u' ') rest.erase(0, 1);
    }
    wrapped.push_back(rest);
  }
  return wrapped;
}
}  // namespace

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size) {
  if (!size || count < 0 || (!text && count > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const FontMetric m = MetricOfLocked(static_cast<HFONT>(d->font));
  size->cx = count * m.charWidth;
  size->cy = m.height;
  return TRUE;
}

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
  if (!rect || (!text && count != 0)) return 0;
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return 0;
  const FontMetric m = MetricOfLocked(static_cast<HFONT>(d->font));
  const std::u16string s = TextArg(text, count);
  const auto lines = LayoutLines(s, format, rect->right - rect->left, m.charWidth);
  int widest = 0;
  for (auto& l : lines) widest = std::max(widest, static_cast<int>(l.size()) * m.charWidth);
  const int height = static_cast<int>(lines.size()) * m.height;
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + height;
    return height;
  }
  LogLocked(DrawOp::DrawText, dc, *d, *rect, d->text, RECT{}, format, s);
  return height;
}

// ---------------------------------------------------------------------------------------
// Regions

HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom) {
  Lock lock(S().mutex);
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiKind::Region;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  o->rgn = (left == right || top == bottom) ? RECT{0, 0, 0, 0} : RECT{left, top, right, bottom};
  return static_cast<HRGN>(AddObjectLocked(o));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT* rect) {
  if (!rect) return nullptr;
  return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

// RGN_OR and RGN_COPY (the bounding model: the union's bounds).
int WINAPI CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  Lock lock(S().mutex);
  auto d = ObjLocked(dst, GdiKind::Region);
  auto a = ObjLocked(src1, GdiKind::Region);
  auto b = mode == RGN_COPY ? a : ObjLocked(src2, GdiKind::Region);
  if (!d || !a || !b || (mode != RGN_OR && mode != RGN_COPY)) return ERROR;
  auto empty = [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; };
  RECT r = a->rgn;
  const RECT o = b->rgn;
  if (empty(r)) r = o;
  else if (!empty(o))
    r = RECT{std::min(r.left, o.left), std::min(r.top, o.top), std::max(r.right, o.right), std::max(r.bottom, o.bottom)};
  if (empty(r)) r = RECT{0, 0, 0, 0};
  d->rgn = r;
  return empty(r) ? NULLREGION : SIMPLEREGION;
}

int WINAPI SelectClipRgn(HDC dc, HRGN region) {
  Lock lock(S().mutex);
  auto d = DcLocked(dc);
  if (!d) return ERROR;
  if (!region) {
    d->hasClip = false;
    return SIMPLEREGION;
  }
  auto o = ObjLocked(region, GdiKind::Region);
  if (!o) return ERROR;
  d->hasClip = true;
  d->clip = o->rgn;
  return (o->rgn.left >= o->rgn.right || o->rgn.top >= o->rgn.bottom) ? NULLREGION : SIMPLEREGION;
}

int WINAPI GetRgnBox(HRGN region, LPRECT rect) {
  if (!rect) return ERROR;
  Lock lock(S().mutex);
  auto o = ObjLocked(region, GdiKind::Region);
  if (!o) return ERROR;
  *rect = o->rgn;
  return (o->rgn.left >= o->rgn.right || o->rgn.top >= o->rgn.bottom) ? NULLREGION : SIMPLEREGION;
}

// ---------------------------------------------------------------------------------------
// Read-outs for the headless test controls

namespace zorv::headless {

std::vector<DrawCall> DrawLog(HWND hwnd) {
  Lock lock(S().mutex);
  if (!hwnd) return S().drawLog;
  std::vector<DrawCall> out;
  for (const auto& c : S().drawLog) {
    if (c.hwnd == hwnd) out.push_back(c);
  }
  return out;
}

void ClearDrawLog() {
  Lock lock(S().mutex);
  S().drawLog.clear();
}

}  // namespace zorv::headless

namespace zorv::winsys {

// GDI part of the counts (lock held).
void CountGdiLocked(headless::Counts& c) {
  for (auto& [k, o] : S().gdi) {
    if (o->stock) continue;
    switch (o->kind) {
      case GdiKind::Pen: c.pens++; break;
      case GdiKind::Brush: c.brushes++; break;
      case GdiKind::Font: c.fonts++; break;
      case GdiKind::Bitmap: c.bitmaps++; break;
      case GdiKind::Region: c.regions++; break;
    }
  }
  c.dcs = static_cast<int>(S().dcs.size());
}

// A bitmap made from a DIB (BITMAPINFO and bits), for the resource loaders.
HBITMAP BitmapFromDib(const BITMAPINFO* info, const BYTE* bits, std::size_t bitsSize) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int width = h.biWidth, height = std::abs(static_cast<int>(h.biHeight));
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
  if (DibStride(width, bpp) * height > bitsSize) return nullptr;
  HBITMAP bmp = NewBitmap(width, height, bpp == 1 ? 1 : 32);
  if (!bmp) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, bits, info, DIB_RGB_COLORS, SRCCOPY);
  SelectObject(dc, old);
  DeleteDC(dc);
  {
    // The copy above is no drawing of the program's: keep it out of the log.
    Lock lock(S().mutex);
    if (!S().drawLog.empty() && S().drawLog.back().op == DrawOp::StretchDIBits) S().drawLog.pop_back();
  }
  return bmp;
}

}  // namespace zorv::winsys

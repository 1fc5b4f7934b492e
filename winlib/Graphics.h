// Drawing state of the window library: graphic tools (a brush or a font described by a
// 64-byte data block, whose GDI object is made on first use and shared with an identical
// parent tool), the canvas (a device context with the tools selected into it on demand)
// and bitmaps (a GDI bitmap, or device-independent bits in memory, drawn stretched).
#pragma once

#include <cstdint>
#include <string>

#include "platform/winsys.h"
#include "winlib/GdiOwners.h"
#include "winlib/Objects.h"

class TControl;
class TGraphicTool;
class TCanvas;

// ---- Colours ---------------------------------------------------------------------------

// A colour value with the top bit set is a system colour whose COLOR_ index is its low
// byte; any other value is an RGB value.
constexpr std::uint32_t kSysColorFlag = 0xFF000000u;
inline bool IsSysColor(std::int32_t color) { return color < 0; }
// The colour value that stands for system colour `index` (a COLOR_ value).
constexpr std::int32_t SysColor(int index) {
  return static_cast<std::int32_t>(kSysColorFlag | static_cast<std::uint32_t>(index));
}
COLORREF ResolveColor(std::int32_t color);

// ---- Graphic tools ---------------------------------------------------------------------

enum TToolKind : std::uint8_t { gtBrush = 0, gtFont = 1 };

// Offsets into TGraphicTool::Data: the colour, then (fonts) a LOGFONTA, or (brushes) the
// pattern bitmap and the style.
namespace tool {
constexpr int kColor = 0;
constexpr int kFontHeight = 4;
constexpr int kFontWidth = 8;
constexpr int kFontEscapement = 12;
constexpr int kFontOrientation = 16;
constexpr int kFontWeight = 20;
constexpr int kFontItalic = 24;
constexpr int kFontUnderline = 25;
constexpr int kFontStrikeOut = 26;
constexpr int kFontCharSet = 27;
constexpr int kFontOutPrecision = 28;
constexpr int kFontClipPrecision = 29;
constexpr int kFontQuality = 30;
constexpr int kFontPitchAndFamily = 31;
constexpr int kFontFace = 32;
constexpr int kFontFaceSize = 32;
constexpr int kBrushBitmap = 4;
constexpr int kBrushStyle = 8;
}  // namespace tool

// Font style bits.
constexpr int kFontBold = 1;
constexpr int kFontItalicBit = 2;
constexpr int kFontUnderlineBit = 4;
constexpr int kFontStrikeOutBit = 8;

struct TToolEvent {
  void (*Proc)(void* data, TGraphicTool* sender) = nullptr;
  void* Data = nullptr;
};

class TGraphicTool : public TObj {
 public:
  explicit TGraphicTool(TToolKind kind) : Kind(kind) {}

  TToolKind Kind;
  TGdiObject GdiHandle;  // made on demand (see Handle)
  TGraphicTool* ParentTool = nullptr;  // not owned
  TToolEvent OnChange;
  COLORREF ResolvedColor = 0;
  std::uint8_t Data[64] = {};

  std::int32_t Color() const { return GetData(tool::kColor); }
  void SetColor(std::int32_t color);
  std::int32_t GetData(int offset) const;
  // Stores a 32-bit value at `offset` of Data; nothing when it is already there.
  void SetData(int offset, std::int32_t value);
  // Releases the GDI object, telling the owner before and after.
  void Changed();
  // The GDI object: made now when needed, or the identical parent's (see Graphics.cpp).
  HGDIOBJ Handle();

  // Fonts.
  std::string FontName() const;
  // Up to 31 bytes of the name (the face field keeps its terminating zero).
  void SetFontName(const std::string& name);
  void SetCharSet(std::uint8_t charset);
  // Bit 0 bold (weight FW_BOLD and more), 1 italic, 2 underline, 3 strike-out.
  int FontStyle() const;
  void SetFontStyle(int bits);
  // Brushes.
  void SetBrushBitmap(HBITMAP bitmap);
  void SetBrushStyle(std::uint8_t style);  // 0 solid, 1 clear

 protected:
  ~TGraphicTool() override;

 private:
  void SetByte(int offset, std::uint8_t value);
  TGdiObject Create();
};

TGraphicTool* NewBrush();
TGraphicTool* NewFont();
// Copies source into dest (see Graphics.cpp for the rules) and returns dest, which may be
// a new tool, or null when source is null (dest is then freed).
TGraphicTool* AssignTool(TGraphicTool* dest, TGraphicTool* source);
// True once any brush tool has been made: from then on a window's background brush is its
// Brush tool's GDI object.
bool BrushBackgrounds();

// ---- Canvas ----------------------------------------------------------------------------

// RequiredState flags.
constexpr std::uint32_t csHandle = 1;
constexpr std::uint32_t csPen = 2;
constexpr std::uint32_t csBrush = 4;
constexpr std::uint32_t csFont = 8;
constexpr std::uint32_t csNotify = 16;

class TCanvas : public TObj {
 public:
  TControl* Owner = nullptr;
  HDC DC = nullptr;  // the DC in use (held below)
  POINT PenPos{0, 0};
  TGraphicTool* Brush = nullptr;  // owned
  TGraphicTool* Font = nullptr;   // owned
  TGraphicTool* Pen = nullptr;    // owned; no element of this program uses a pen
  std::uint32_t State = 0;
  DWORD CopyMode = SRCCOPY;
  TObjEvent OnChange;
  // Obtains a DC when the canvas needs one (setting FromPaint for the owner's paint DC).
  TDeviceContext (*GetDCProc)(TCanvas* canvas) = nullptr;
  std::uint8_t FromPaint = 0;  // the DC is the owner's paint DC: not the canvas's to give back

  // Lets go of the current DC (selecting the stock objects back, and giving it back unless
  // it is the owner's paint DC) and takes dc (0: none), which is then the canvas's to
  // delete.
  void SetHandle(HDC dc);
  HDC RequiredState(std::uint32_t flags);
  void FillRect(const RECT& rect);
  void MoveTo(int x, int y);
  SIZE TextExtent(const std::string& text);

 protected:
  ~TCanvas() override;

 private:
  void Attach(TDeviceContext dc);

  TDeviceContext held_;  // what DC stands for, and how it goes back
};

TCanvas* NewCanvas(HDC dc);

// ---- Bitmaps ---------------------------------------------------------------------------

class TBitmap : public TObj {
 public:
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  TBitmapObject Handle;
  std::uint8_t HandleType = 1;
  TCanvas* Canvas = nullptr;
  BITMAPINFO* DIBHeader = nullptr;
  void* DIBBits = nullptr;
  std::int32_t DIBSize = 0;
  std::uint8_t DIBOwned = 0;
  std::int32_t TransparentColor = -1;

  bool Empty() const { return Width == 0 || Height == 0; }
  void Clear();
  // Takes over h (0 empties the bitmap); a handle that is no bitmap leaves it empty.
  void SetHandle(HBITMAP h);
  // Keeps a copy of device-independent bits in memory (no GDI object until a draw needs
  // one). header: a BITMAPINFOHEADER, with its colour table when it has one.
  bool LoadBits(const BITMAPINFO* header, std::size_t headerSize, const void* bits, std::size_t size);
  void StretchDraw(HDC dc, const RECT& rect);
  // Makes a DIB section from the bits held in memory. On failure reports the one error
  // message of the library and answers false.
  bool MakeDIBSection();

 protected:
  ~TBitmap() override;
};

TBitmap* NewBitmap(int width, int height);

// Where the library's one error message goes ("Can not create DIB section, error: ...").
// By default a message box; tests put a recorder in its place (nullptr restores).
using TLibraryErrorSink = void (*)(const std::string& text);
void SetLibraryErrorSink(TLibraryErrorSink sink);

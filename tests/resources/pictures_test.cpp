// The pictures every program embeds: the error picture BITMAP0 and the icon ZOKA. On Windows
// they load through the system's loaders at their sizes and show their colours; in the POSIX
// table they are the whole .bmp and .ico files, with the layouts a reader of those expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/resources.h"
#endif

namespace {

#ifdef _WIN32

struct GdiDeleter {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
using Gdi = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDeleter>;
struct IconDeleter {
  void operator()(HICON h) const { DestroyIcon(h); }
};
using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;
struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// A top-down 32-bit surface of w x h pixels filled with one colour, with its pixels.
struct Surface {
  Dc dc;
  Gdi bitmap;
  std::uint32_t* bits = nullptr;
  int w, h;
  HGDIOBJ old = nullptr;

  Surface(int width, int height, COLORREF fill) : dc(CreateCompatibleDC(nullptr)), w(width), h(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* p = nullptr;
    bitmap.reset(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &p, nullptr, 0));
    bits = static_cast<std::uint32_t*>(p);
    old = SelectObject(dc.get(), bitmap.get());
    Gdi brush(CreateSolidBrush(fill));
    RECT r{0, 0, w, h};
    FillRect(dc.get(), &r, static_cast<HBRUSH>(brush.get()));
    GdiFlush();
  }
  ~Surface() { SelectObject(dc.get(), old); }
  // 0xRRGGBB
  std::uint32_t at(int x, int y) const {
    GdiFlush();
    return bits[y * w + x] & 0xFFFFFF;
  }
};

int Red(std::uint32_t c) { return (c >> 16) & 0xFF; }
int Green(std::uint32_t c) { return (c >> 8) & 0xFF; }
int Blue(std::uint32_t c) { return c & 0xFF; }

TEST(Pictures, ErrorBitmapLoadsAt15By14WithRedDiscAndWhiteCross) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  Gdi plain(LoadBitmapW(self, L"BITMAP0"));
  ASSERT_TRUE(plain) << GetLastError();
  BITMAP bm{};
  ASSERT_TRUE(GetObjectW(plain.get(), sizeof(bm), &bm));
  EXPECT_EQ(bm.bmWidth, 15);
  EXPECT_EQ(bm.bmHeight, 14);

  Gdi image(LoadImageW(self, L"BITMAP0", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_TRUE(image) << GetLastError();
  ASSERT_TRUE(GetObjectW(image.get(), sizeof(bm), &bm));
  EXPECT_EQ(bm.bmWidth, 15);
  EXPECT_EQ(bm.bmHeight, 14);

  Surface s(15, 14, RGB(0, 0, 0));
  Dc src(CreateCompatibleDC(nullptr));
  HGDIOBJ old = SelectObject(src.get(), image.get());
  ASSERT_TRUE(BitBlt(s.dc.get(), 0, 0, 15, 14, src.get(), 0, 0, SRCCOPY));
  SelectObject(src.get(), old);
  EXPECT_EQ(s.at(0, 0), 0xF0F0F0u) << "corner: the dialog face colour";
  EXPECT_EQ(s.at(7, 7), 0xFFFFFFu) << "centre: the cross";
  const std::uint32_t disc = s.at(7, 2);  // above the cross, inside the disc
  EXPECT_GT(Red(disc), 180);
  EXPECT_LT(Green(disc), 80);
  EXPECT_LT(Blue(disc), 80);
}

TEST(Pictures, IconLoadsAt16And32WithTransparentCornersAndTheMotif) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  Icon standard(LoadIconW(self, L"ZOKA"));
  ASSERT_TRUE(standard) << GetLastError();

  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    Icon icon(static_cast<HICON>(LoadImageW(self, L"ZOKA", IMAGE_ICON, size, size, 0)));
    ASSERT_TRUE(icon) << GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    Gdi colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(colour.get(), sizeof(bm), &bm));
    EXPECT_EQ(bm.bmWidth, size);
    EXPECT_EQ(bm.bmHeight, size);

    // Drawn over two different backgrounds: the corners show the background (transparent),
    // the arrow's shaft is green and the chip's body dark on both.
    for (COLORREF back : {RGB(255, 255, 255), RGB(0, 0, 255)}) {
      Surface s(size, size, back);
      ASSERT_TRUE(DrawIconEx(s.dc.get(), 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL));
      const std::uint32_t want = (GetRValue(back) << 16) | (GetGValue(back) << 8) | GetBValue(back);
      EXPECT_EQ(s.at(0, 0), want);
      EXPECT_EQ(s.at(size - 1, 0), want);
      const std::uint32_t shaft = s.at(size / 2, size / 8);
      EXPECT_GT(Green(shaft), 120);
      EXPECT_LT(Red(shaft), 100);
      const std::uint32_t body = s.at(size / 2 - size / 8, size * 3 / 4);
      EXPECT_LT(Red(body) + Green(body) + Blue(body), 3 * 100);
    }
  }
}

TEST(Pictures, ProgramsWithoutTheirOwnResourcesCarryNoManifestAndNoVersion) {
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr);
}

#else

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

TEST(Pictures, ErrorBitmapIsA15By14BmpFileOfType2) {
  zorv::platform::ProgramResource bmp("BITMAP0", 2);
  ASSERT_TRUE(bmp.found());
  ASSERT_GT(bmp.size(), 54u);
  const unsigned char* p = bmp.data();
  EXPECT_EQ(std::memcmp(p, "BM", 2), 0);
  EXPECT_EQ(Le32(p + 2), bmp.size()) << "file size field";
  EXPECT_EQ(Le32(p + 14), 40u) << "BITMAPINFOHEADER";
  EXPECT_EQ(static_cast<std::int32_t>(Le32(p + 18)), 15);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(p + 22)), 14) << "bottom-up";
  EXPECT_EQ(Le16(p + 28), 24);
  EXPECT_EQ(Le32(p + 10) + 14u * 48u, bmp.size()) << "rows of 45 bytes padded to 48";
  // Found by name whatever its case, as the Windows build finds it; not under another type.
  EXPECT_TRUE(zorv::platform::ProgramResource("bitmap0", 2).found());
  EXPECT_FALSE(zorv::platform::ProgramResource("BITMAP0", 14).found());
}

TEST(Pictures, IconIsAnIcoFileOfType14With16And32PixelImages) {
  zorv::platform::ProgramResource ico("ZOKA", 14);
  ASSERT_TRUE(ico.found());
  ASSERT_GT(ico.size(), 6u);
  const unsigned char* p = ico.data();
  EXPECT_EQ(Le16(p), 0);
  EXPECT_EQ(Le16(p + 2), 1) << "icon, not cursor";
  const unsigned count = Le16(p + 4);
  ASSERT_GE(count, 2u);
  ASSERT_GE(ico.size(), 6u + 16u * count);
  std::vector<int> sizes;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char* e = p + 6 + 16 * i;
    const std::uint32_t bytes = Le32(e + 8), offset = Le32(e + 12);
    ASSERT_LE(std::uint64_t{offset} + bytes, ico.size()) << "entry " << i;
    const unsigned char* img = p + offset;
    EXPECT_EQ(Le32(img), 40u) << "entry " << i;
    EXPECT_EQ(static_cast<std::int32_t>(Le32(img + 8)), 2 * e[0]) << "colour and mask heights";
    EXPECT_EQ(Le16(img + 14), 32);
    sizes.push_back(e[0]);
  }
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 16), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 32), sizes.end());
}

#endif

}  // namespace

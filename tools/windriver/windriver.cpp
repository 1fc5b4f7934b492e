// windriver: inspects and drives the windows of another process, for window tests that run
// it under wine beside the program under test (same prefix, same X display). Prints one
// line of JSON per command, in UTF-8; every text goes through the W calls. `--help` lists
// the commands.
//
// Reading another process's controls: texts and list items are fetched with messages that
// the system copies across processes (WM_GETTEXT, CB_GETLBTEXT, LB_GETITEMRECT), each sent
// with a time-out so that a hung program cannot hang the driver; the focus comes from the
// other thread's GUI state, since GetFocus only knows the caller's own thread.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 2000;

const char kHelp[] =
    "windriver: inspect and drive another process's windows (one line of JSON per command).\n"
    "\n"
    "Windows are named by --title TEXT (exact title of a top-level window, UTF-8) or by\n"
    "--hwnd N (decimal or 0x hex, as printed). --wait SEC keeps looking for that long\n"
    "(default 0: look once). Coordinates are screen pixels; rectangles are [left, top,\n"
    "right, bottom].\n"
    "\n"
    "  find  --title T [--wait SEC]\n"
    "      the window: hwnd, pid, class, title, rect, client (client area in screen\n"
    "      coordinates), visible, enabled, foreground\n"
    "  list  (--title T | --hwnd N) [--wait SEC]\n"
    "      the window as with find, plus \"focus\" (the focused window of its thread) and\n"
    "      \"children\": every descendant with hwnd, parent, class, id, text, rect,\n"
    "      visible, enabled, focused, style; progress bars add \"progress\" {pos, min,\n"
    "      max}; combo boxes add \"combo\" {items, index, dropped}\n"
    "  item  --hwnd COMBO --index I [--wait SEC]\n"
    "      the open drop-down list of a combo box (its \"ComboLBox\" window): list, visible,\n"
    "      count, and rect, the screen rectangle of item I. With --wait, waits until the\n"
    "      list is visible. Exit status 1 when it is not.\n"
    "  ping  (--title T | --hwnd N) [--timeout MS]\n"
    "      sends WM_NULL with SendMessageTimeout (default 5000 ms): answered, ms.\n"
    "      Exit status 1 when the window did not answer in time.\n"
    "  capture [--title T | --hwnd N | --rect X Y W H] [--out FILE.png] [--pixel X Y]...\n"
    "      copies the screen (or the window's or the given rectangle, clipped to the\n"
    "      screen) from the screen DC; writes it as an RGB PNG when --out is given (a\n"
    "      Windows path: Z:/tmp/shot.png for /tmp/shot.png), and prints rect and the\n"
    "      colour [r, g, b] at each --pixel (screen coordinates; null outside)\n"
    "  close (--title T | --hwnd N)\n"
    "      posts WM_CLOSE to the window, as a task manager's close does\n"
    "\n"
    "Exit status: 0 done; 1 not found, not visible or no answer; 2 usage; 3 system error.\n";

enum Exit { kOk = 0, kNotFound = 1, kUsage = 2, kSystem = 3 };

// ------------------------------------------------------------------ text and output

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// Builds one JSON line.
class Json {
 public:
  // A literal value written as it is (null).
  Json& Raw(const std::string& s) {
    Sep();
    out_ += s;
    return *this;
  }
  Json& Key(const char* k) {
    Sep();
    Quote(k);
    out_ += ':';
    fresh_ = true;
    return *this;
  }
  Json& Str(const std::string& s) {
    Sep();
    Quote(s);
    return *this;
  }
  Json& Str(const std::wstring& w) { return Str(Utf8(w)); }
  Json& Num(long long v) {
    Sep();
    out_ += std::to_string(v);
    return *this;
  }
  Json& Real(double v) {
    Sep();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    out_ += buf;
    return *this;
  }
  Json& Bool(bool v) {
    Sep();
    out_ += v ? "true" : "false";
    return *this;
  }
  Json& Rect(const RECT& r) {
    Open('[');
    Num(r.left).Num(r.top).Num(r.right).Num(r.bottom);
    return Close(']');
  }
  Json& Open(char c) {
    Sep();
    out_ += c;
    fresh_ = true;
    return *this;
  }
  Json& Close(char c) {
    out_ += c;
    fresh_ = false;
    return *this;
  }
  const std::string& str() const { return out_; }

 private:
  void Quote(const std::string& s) {
    out_ += '"';
    for (unsigned char c : s) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
          if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out_ += buf;
          } else {
            out_ += static_cast<char>(c);
          }
      }
    }
    out_ += '"';
  }
  void Sep() {
    if (!fresh_ && !out_.empty()) out_ += ',';
    fresh_ = false;
  }
  std::string out_;
  bool fresh_ = true;
};

void Print(const std::string& line) {
  const std::string s = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

void Fail(const std::string& what) {
  const std::string s = "windriver: " + what + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

// ------------------------------------------------------------------ handles

struct DcRelease {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct DcDelete {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiDelete {
  void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDelete>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDelete>;

// Selects an object into a DC for a scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc_, old_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// ------------------------------------------------------------------ windows

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  const int n = GetClassNameW(h, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}

// The window's text through WM_GETTEXT (an edit's contents too, unlike GetWindowText on
// another process's window, which reads only the caption the system keeps).
std::wstring TextOf(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len)) return {};
  std::wstring buf(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &got))
    return {};
  buf.resize(got < buf.size() ? got : buf.size() - 1);
  return buf;
}

std::optional<LRESULT> Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return std::nullopt;
  return static_cast<LRESULT>(result);
}

// The caption the system keeps, read without a message: GetWindowTextLength sends
// WM_GETTEXTLENGTH and waits without a bound, so one top-level window of any process whose
// thread is busy or hung would hold every search up.
std::wstring CaptionOf(HWND h) {
  wchar_t buf[512] = {};
  const int n = InternalGetWindowText(h, buf, 512);
  return std::wstring(buf, n > 0 ? n : 0);
}

bool SameText(HWND h, const std::wstring& title) { return CaptionOf(h) == title; }

// The top-level window with this exact title: a visible one with an area is preferred
// (a program's application window may share its main window's title with no area at all),
// then a visible one, then any.
HWND FindTitle(const std::wstring& title) {
  struct Search {
    const std::wstring* title;
    HWND shown = nullptr, visible = nullptr, any = nullptr;
  } search{&title};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (!SameText(h, *s->title)) return TRUE;
        if (!s->any) s->any = h;
        if (!IsWindowVisible(h)) return TRUE;
        if (!s->visible) s->visible = h;
        RECT r{};
        GetWindowRect(h, &r);
        if (r.right - r.left > 1 && r.bottom - r.top > 1) {
          s->shown = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.shown ? search.shown : search.visible ? search.visible : search.any;
}

// Every top-level window, for a failed search's message: handle, process, class, caption,
// visible, and whether its thread answers a message within a second.
std::string TopLevelWindows() {
  Json j;
  j.Open('[');
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto& j = *reinterpret_cast<Json*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        DWORD_PTR ignored = 0;
        const bool answers = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored) != 0;
        j.Open('[');
        j.Num(reinterpret_cast<std::uintptr_t>(h)).Num(pid).Str(ClassOf(h)).Str(CaptionOf(h));
        j.Bool(IsWindowVisible(h) != FALSE).Bool(answers);
        j.Close(']');
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&j));
  j.Close(']');
  return j.str();
}

// Polls `probe` until it yields a value or `wait` seconds have passed.
template <typename Probe>
auto WaitFor(double wait, Probe probe) -> decltype(probe()) {
  const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(wait * 1000.0);
  for (;;) {
    auto v = probe();
    if (v || GetTickCount64() >= until) return v;
    Sleep(50);
  }
}

RECT ClientOnScreen(HWND h) {
  RECT r{};
  GetClientRect(h, &r);
  MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void DescribeWindow(Json& j, HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  RECT r{};
  GetWindowRect(h, &r);
  j.Key("hwnd").Num(reinterpret_cast<std::uintptr_t>(h));
  j.Key("pid").Num(pid);
  j.Key("class").Str(ClassOf(h));
  j.Key("title").Str(TextOf(h));
  j.Key("rect").Rect(r);
  j.Key("client").Rect(ClientOnScreen(h));
  j.Key("visible").Bool(IsWindowVisible(h));
  j.Key("enabled").Bool(IsWindowEnabled(h));
  j.Key("foreground").Bool(GetForegroundWindow() == h);
}

void DescribeCombo(Json& j, HWND h) {
  j.Key("combo").Open('{');
  j.Key("items").Open('[');
  const LRESULT count = Send(h, CB_GETCOUNT, 0, 0).value_or(0);
  for (LRESULT i = 0; i < count && i < 10000; ++i) {
    const LRESULT len = Send(h, CB_GETLBTEXTLEN, i, 0).value_or(CB_ERR);
    if (len == CB_ERR || len < 0) {
      j.Str(std::string());
      continue;
    }
    std::wstring item(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT got = Send(h, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data())).value_or(CB_ERR);
    item.resize(got == CB_ERR || got < 0 ? 0 : static_cast<std::size_t>(got));
    j.Str(item);
  }
  j.Close(']');
  j.Key("index").Num(Send(h, CB_GETCURSEL, 0, 0).value_or(CB_ERR));
  j.Key("dropped").Bool(Send(h, CB_GETDROPPEDSTATE, 0, 0).value_or(0) != 0);
  j.Close('}');
}

void DescribeProgress(Json& j, HWND h) {
  j.Key("progress").Open('{');
  j.Key("pos").Num(Send(h, PBM_GETPOS, 0, 0).value_or(-1));
  // With no PBRANGE to fill, the answer is the low (TRUE) or high (FALSE) limit.
  j.Key("min").Num(Send(h, PBM_GETRANGE, TRUE, 0).value_or(-1));
  j.Key("max").Num(Send(h, PBM_GETRANGE, FALSE, 0).value_or(-1));
  j.Close('}');
}

int CmdList(HWND top) {
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(top, &pid);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  const HWND focus = GetGUIThreadInfo(tid, &gui) ? gui.hwndFocus : nullptr;

  Json j;
  j.Open('{');
  DescribeWindow(j, top);
  j.Key("focus").Num(reinterpret_cast<std::uintptr_t>(focus));
  j.Key("children").Open('[');
  std::vector<HWND> children;
  EnumChildWindows(
      top,
      [](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  for (HWND c : children) {
    RECT r{};
    GetWindowRect(c, &r);
    const std::wstring cls = ClassOf(c);
    j.Open('{');
    j.Key("hwnd").Num(reinterpret_cast<std::uintptr_t>(c));
    j.Key("parent").Num(reinterpret_cast<std::uintptr_t>(GetParent(c)));
    j.Key("class").Str(cls);
    j.Key("id").Num(GetDlgCtrlID(c));
    j.Key("text").Str(TextOf(c));
    j.Key("rect").Rect(r);
    j.Key("visible").Bool(IsWindowVisible(c));
    j.Key("enabled").Bool(IsWindowEnabled(c));
    j.Key("focused").Bool(c == focus);
    j.Key("style").Num(static_cast<std::uint32_t>(GetWindowLongW(c, GWL_STYLE)));
    // The window library's classes are the system classes with "obj_" in front.
    const std::wstring base = _wcsnicmp(cls.c_str(), L"obj_", 4) == 0 ? cls.substr(4) : cls;
    if (_wcsicmp(base.c_str(), L"msctls_progress32") == 0) DescribeProgress(j, c);
    if (_wcsicmp(base.c_str(), L"ComboBox") == 0) DescribeCombo(j, c);
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
  Print(j.str());
  return kOk;
}

// The drop-down list of a combo box: a "ComboLBox" window of the combo's thread. Wine makes
// it a child of the desktop, owned by nobody, and GetComboBoxInfo does not cross processes;
// so among the thread's lists the one that lines up with the combo box (same left edge,
// directly below or above it) is taken, a visible one first.
HWND DropDownOf(HWND combo) {
  struct Search {
    DWORD tid;
    RECT box;
    HWND aligned = nullptr;
  } search{GetWindowThreadProcessId(combo, nullptr), {}};
  GetWindowRect(combo, &search.box);
  auto look = [](HWND h, LPARAM p) -> BOOL {
    auto* s = reinterpret_cast<Search*>(p);
    if (GetWindowThreadProcessId(h, nullptr) != s->tid) return TRUE;
    if (_wcsicmp(ClassOf(h).c_str(), L"ComboLBox") != 0) return TRUE;
    RECT r{};
    GetWindowRect(h, &r);
    const bool lined_up = r.left == s->box.left && (std::abs(r.top - s->box.bottom) <= 2 || std::abs(r.bottom - s->box.top) <= 2);
    if (lined_up && (!s->aligned || IsWindowVisible(h))) s->aligned = h;
    return TRUE;
  };
  EnumWindows(look, reinterpret_cast<LPARAM>(&search));
  return search.aligned;
}

int CmdItem(HWND combo, int index, double wait) {
  const HWND list = WaitFor(wait, [&]() -> HWND {
    const HWND l = DropDownOf(combo);
    return l && IsWindowVisible(l) ? l : nullptr;
  });
  const HWND any = list ? list : DropDownOf(combo);
  Json j;
  j.Open('{');
  j.Key("list").Num(reinterpret_cast<std::uintptr_t>(any));
  j.Key("visible").Bool(list != nullptr);
  if (any) {
    j.Key("count").Num(Send(any, LB_GETCOUNT, 0, 0).value_or(-1));
    RECT r{};
    if (Send(any, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)).value_or(LB_ERR) == LB_ERR) {
      j.Key("error").Str(std::string("no such item"));
    } else {
      MapWindowPoints(any, nullptr, reinterpret_cast<POINT*>(&r), 2);
      j.Key("rect").Rect(r);
    }
  }
  j.Close('}');
  Print(j.str());
  return list ? kOk : kNotFound;
}

int CmdPing(HWND h, UINT timeout_ms) {
  LARGE_INTEGER f{}, t0{}, t1{};
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  DWORD_PTR result = 0;
  const LRESULT ok = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result);
  const DWORD error = ok ? 0 : GetLastError();
  QueryPerformanceCounter(&t1);
  Json j;
  j.Open('{');
  j.Key("answered").Bool(ok != 0);
  j.Key("ms").Real(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart));
  if (!ok) j.Key("error").Num(error);
  j.Close('}');
  Print(j.str());
  return ok ? kOk : kNotFound;
}

// ------------------------------------------------------------------ capture and PNG

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0) {
  static std::uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBe32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  v.push_back(static_cast<std::uint8_t>(x >> 24));
  v.push_back(static_cast<std::uint8_t>(x >> 16));
  v.push_back(static_cast<std::uint8_t>(x >> 8));
  v.push_back(static_cast<std::uint8_t>(x));
}

void Chunk(std::vector<std::uint8_t>& png, const char type[4], const std::vector<std::uint8_t>& data) {
  PutBe32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, Crc32(png.data() + start, png.size() - start));
}

// An RGB PNG whose image data is stored uncompressed (deflate's stored blocks): small code,
// any reader takes it; tests/support/wintest.py recompresses the pictures it keeps.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgb, int w, int h) {
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(h) * (1 + 3 * static_cast<std::size_t>(w)));
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);  // filter: none
    const auto* row = rgb.data() + static_cast<std::size_t>(y) * 3 * w;
    raw.insert(raw.end(), row, row + 3 * static_cast<std::size_t>(w));
  }
  std::vector<std::uint8_t> z{0x78, 0x01};
  std::size_t pos = 0;
  do {
    const std::size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    const bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(n));
    z.push_back(static_cast<std::uint8_t>(n >> 8));
    z.push_back(static_cast<std::uint8_t>(~n));
    z.push_back(static_cast<std::uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, (b << 16) | a);

  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  PutBe32(ihdr, static_cast<std::uint32_t>(w));
  PutBe32(ihdr, static_cast<std::uint32_t>(h));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data, DWORD& error) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  error = ok ? 0 : GetLastError();
  CloseHandle(f);
  return ok && written == data.size();
}

int CmdCapture(RECT r, const std::wstring& out, const std::vector<POINT>& pixels) {
  // Clipped to the screen: BitBlt from outside it gives undefined pixels.
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (!IntersectRect(&r, &r, &screen)) {
    Fail("the rectangle is off the screen");
    return kNotFound;
  }
  const int w = r.right - r.left, h = r.bottom - r.top;
  ScreenDc screen_dc(GetDC(nullptr));
  MemoryDc mem(CreateCompatibleDC(screen_dc.get()));
  if (!screen_dc || !mem) {
    Fail("no device context, error " + std::to_string(GetLastError()));
    return kSystem;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject dib(CreateDIBSection(mem.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) {
    Fail("CreateDIBSection failed, error " + std::to_string(GetLastError()));
    return kSystem;
  }
  {
    Selection select(mem.get(), dib.get());
    if (!BitBlt(mem.get(), 0, 0, w, h, screen_dc.get(), r.left, r.top, SRCCOPY | CAPTUREBLT)) {
      Fail("BitBlt from the screen failed, error " + std::to_string(GetLastError()));
      return kSystem;
    }
    GdiFlush();
  }
  const auto* bgrx = static_cast<const std::uint8_t*>(bits);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
    rgb[3 * i] = bgrx[4 * i + 2];
    rgb[3 * i + 1] = bgrx[4 * i + 1];
    rgb[3 * i + 2] = bgrx[4 * i];
  }
  if (!out.empty()) {
    DWORD error = 0;
    if (!WriteWholeFile(out, EncodePng(rgb, w, h), error)) {
      Fail("cannot write " + Utf8(out) + ", error " + std::to_string(error));
      return kSystem;
    }
  }
  Json j;
  j.Open('{');
  j.Key("rect").Rect(r);
  if (!out.empty()) j.Key("file").Str(out);
  j.Key("pixels").Open('[');
  for (const POINT& p : pixels) {
    j.Open('{');
    j.Key("x").Num(p.x).Key("y").Num(p.y);
    if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) {
      const std::size_t i = 3 * (static_cast<std::size_t>(p.y - r.top) * w + (p.x - r.left));
      j.Key("rgb").Open('[').Num(rgb[i]).Num(rgb[i + 1]).Num(rgb[i + 2]).Close(']');
    } else {
      j.Key("rgb").Raw("null");
    }
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
  Print(j.str());
  return kOk;
}

// ------------------------------------------------------------------ command line

struct Args {
  std::wstring command;
  std::optional<std::wstring> title;
  std::optional<HWND> hwnd;
  std::optional<RECT> rect;
  std::wstring out;
  std::vector<POINT> pixels;
  double wait = 0;
  UINT timeout_ms = 5000;
  int index = -1;
};

bool ParseLong(const std::wstring& s, long long& v) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  v = std::wcstoll(s.c_str(), &end, 0);
  return end != nullptr && *end == L'\0';
}

bool ParseDouble(const std::wstring& s, double& v) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  v = std::wcstod(s.c_str(), &end);
  return end != nullptr && *end == L'\0' && v >= 0 && v < 1e6;
}

std::optional<Args> Parse(int argc, wchar_t** argv, std::string& error) {
  Args a;
  if (argc < 2) {
    error = "no command";
    return std::nullopt;
  }
  a.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring opt = argv[i];
    auto need = [&](int n) -> bool {
      if (i + n >= argc) {
        error = Utf8(opt) + " needs " + std::to_string(n) + " value(s)";
        return false;
      }
      return true;
    };
    long long v[4] = {};
    if (opt == L"--title") {
      if (!need(1)) return std::nullopt;
      a.title = argv[++i];
    } else if (opt == L"--hwnd" || opt == L"--combo") {
      if (!need(1)) return std::nullopt;
      if (!ParseLong(argv[++i], v[0]) || v[0] <= 0) {
        error = "bad window handle";
        return std::nullopt;
      }
      a.hwnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(v[0]));
    } else if (opt == L"--wait") {
      if (!need(1) || !ParseDouble(argv[++i], a.wait)) {
        if (error.empty()) error = "bad --wait";
        return std::nullopt;
      }
    } else if (opt == L"--timeout") {
      if (!need(1)) return std::nullopt;
      if (!ParseLong(argv[++i], v[0]) || v[0] < 1 || v[0] > 600000) {
        error = "bad --timeout";
        return std::nullopt;
      }
      a.timeout_ms = static_cast<UINT>(v[0]);
    } else if (opt == L"--index") {
      if (!need(1)) return std::nullopt;
      if (!ParseLong(argv[++i], v[0]) || v[0] < 0 || v[0] > 100000) {
        error = "bad --index";
        return std::nullopt;
      }
      a.index = static_cast<int>(v[0]);
    } else if (opt == L"--out") {
      if (!need(1)) return std::nullopt;
      a.out = argv[++i];
    } else if (opt == L"--pixel") {
      if (!need(2)) return std::nullopt;
      if (!ParseLong(argv[i + 1], v[0]) || !ParseLong(argv[i + 2], v[1]) || v[0] < -100000 || v[0] > 100000 ||
          v[1] < -100000 || v[1] > 100000) {
        error = "bad --pixel";
        return std::nullopt;
      }
      i += 2;
      a.pixels.push_back(POINT{static_cast<LONG>(v[0]), static_cast<LONG>(v[1])});
    } else if (opt == L"--rect") {
      if (!need(4)) return std::nullopt;
      for (int k = 0; k < 4; ++k) {
        if (!ParseLong(argv[i + 1 + k], v[k]) || v[k] < -100000 || v[k] > 100000) {
          error = "bad --rect";
          return std::nullopt;
        }
      }
      i += 4;
      if (v[2] <= 0 || v[3] <= 0) {
        error = "--rect needs a positive width and height";
        return std::nullopt;
      }
      a.rect = RECT{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[0] + v[2]),
                    static_cast<LONG>(v[1] + v[3])};
    } else {
      error = "unknown option " + Utf8(opt);
      return std::nullopt;
    }
  }
  return a;
}

// The window named by --hwnd or --title (waiting as asked), or nullptr with a message.
HWND Target(const Args& a) {
  if (a.hwnd) {
    const HWND h = WaitFor(a.wait, [&]() -> HWND { return IsWindow(*a.hwnd) ? *a.hwnd : nullptr; });
    if (!h) Fail("no window " + std::to_string(reinterpret_cast<std::uintptr_t>(*a.hwnd)));
    return h;
  }
  if (a.title) {
    const HWND h = WaitFor(a.wait, [&]() { return FindTitle(*a.title); });
    if (!h) Fail("no window titled \"" + Utf8(*a.title) + "\"; top-level windows: " + TopLevelWindows());
    return h;
  }
  Fail("name a window with --title or --hwnd");
  return nullptr;
}

int Run(int argc, wchar_t** argv) {
  if (argc >= 2 && (std::wcscmp(argv[1], L"--help") == 0 || std::wcscmp(argv[1], L"-h") == 0)) {
    Print(std::string(kHelp, sizeof kHelp - 2));
    return kOk;
  }
  std::string error;
  const std::optional<Args> parsed = Parse(argc, argv, error);
  if (!parsed) {
    Fail(error + " (windriver --help)");
    return kUsage;
  }
  const Args& a = *parsed;
  const std::wstring& c = a.command;
  if (c == L"find" || c == L"list" || c == L"ping" || c == L"close") {
    if (c == L"find" && !a.title) {
      Fail("find needs --title");
      return kUsage;
    }
    const HWND h = Target(a);
    if (!h) return a.title || a.hwnd ? kNotFound : kUsage;
    if (c == L"list") return CmdList(h);
    if (c == L"ping") return CmdPing(h, a.timeout_ms);
    if (c == L"close") {
      if (!PostMessageW(h, WM_CLOSE, 0, 0)) {
        Fail("PostMessage failed, error " + std::to_string(GetLastError()));
        return kSystem;
      }
      Print("{\"closed\":" + std::to_string(reinterpret_cast<std::uintptr_t>(h)) + "}");
      return kOk;
    }
    Json j;
    j.Open('{');
    DescribeWindow(j, h);
    j.Close('}');
    Print(j.str());
    return kOk;
  }
  if (c == L"item") {
    if (!a.hwnd || a.index < 0) {
      Fail("item needs --hwnd (the combo box) and --index");
      return kUsage;
    }
    if (!IsWindow(*a.hwnd)) {
      Fail("no window " + std::to_string(reinterpret_cast<std::uintptr_t>(*a.hwnd)));
      return kNotFound;
    }
    return CmdItem(*a.hwnd, a.index, a.wait);
  }
  if (c == L"capture") {
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (a.rect) {
      r = *a.rect;
    } else if (a.title || a.hwnd) {
      const HWND h = Target(a);
      if (!h) return kNotFound;
      GetWindowRect(h, &r);
    }
    return CmdCapture(r, a.out, a.pixels);
  }
  Fail("unknown command " + Utf8(c) + " (windriver --help)");
  return kUsage;
}

}  // namespace

int main() {
  // Texts in and out are UTF-8; a console (a person at a terminal) is told so.
  SetConsoleOutputCP(CP_UTF8);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return kSystem;
  const int status = Run(argc, argv);
  LocalFree(argv);
  return status;
}

// Headless window system, resources and modules: icons, cursors and bitmaps from the
// program's resource table (platform/resources.h) and the system's own, system menus,
// message boxes, loaded modules and their entry points, version information, and the
// live counts the test controls read out.
#include <cstdio>
#include <cstring>

#include "headless_win32/internal.h"
#include "platform/resources.h"

namespace zorv::winsys {

struct IconObject {
  bool shared = true;  // LoadIcon and LoadCursor share: DestroyIcon leaves them
};

struct MenuObject {
  struct Item {
    UINT id;
    UINT flags;
    std::u16string text;
  };
  std::vector<Item> items;
};

namespace {

const HINSTANCE kProgramModule = HandleOf<HINSTANCE>(0x00400000);

struct ModuleInfo {
  const char* name;
  UINT_PTR handle;
};
const ModuleInfo kModules[] = {{"comctl32", 0x6E000000}, {"ntdll", 0x7FF00000}};

std::map<std::u16string, HICON>& SharedIcons() {
  static std::map<std::u16string, HICON> icons;
  return icons;
}

std::string ModuleKey(LPCWSTR name) {
  std::string s = ToUtf8(FromPtr(name));
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto slash = s.find_last_of("\\/");
  if (slash != std::string::npos) s = s.substr(slash + 1);
  if (s.size() > 4 && s.compare(s.size() - 4, 4, ".dll") == 0) s.resize(s.size() - 4);
  return s;
}

const ModuleInfo* FindModule(const std::string& key) {
  for (const auto& m : kModules) {
    if (key == m.name) return &m;
  }
  return nullptr;
}

const ModuleInfo* FindModule(HMODULE h) {
  for (const auto& m : kModules) {
    if (Key(h) == m.handle) return &m;
  }
  return nullptr;
}

HICON NewIconLocked() {
  const UINT_PTR v = NewHandleValue();
  S().icons[v] = std::make_shared<IconObject>();
  return HandleOf<HICON>(v);
}

template <class T>
bool ReadAt(const unsigned char* data, std::size_t size, std::size_t offset, T& out) {
  if (offset > size || size - offset < sizeof(T)) return false;
  std::memcpy(&out, data + offset, sizeof(T));
  return true;
}

// Whether the data is an .ico (or .cur) file whose directory lies inside it.
bool IsIconFile(const unsigned char* data, std::size_t size) {
  WORD reserved, type, count;
  if (!ReadAt(data, size, 0, reserved) || !ReadAt(data, size, 2, type) || !ReadAt(data, size, 4, count))
    return false;
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return false;
  for (int i = 0; i < count; ++i) {
    DWORD bytes, offset;
    const std::size_t e = 6 + static_cast<std::size_t>(i) * 16;
    if (!ReadAt(data, size, e + 8, bytes) || !ReadAt(data, size, e + 12, offset)) return false;
    if (offset > size || bytes > size - offset) return false;
  }
  return true;
}

HICON LoadProgramIcon(LPCWSTR name, bool cursor) {
  if (IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const std::u16string key = Upper(FromPtr(name)) + (cursor ? u"|C" : u"|I");
  {
    Lock lock(S().mutex);
    auto it = SharedIcons().find(key);
    if (it != SharedIcons().end() && S().icons.count(Key(it->second))) return it->second;
  }
  const std::string utf8 = ToUtf8(FromPtr(name));
  platform::ProgramResource group(utf8, cursor ? 12 : 14);
  platform::ProgramResource single(utf8, cursor ? 1 : 3);
  const platform::ProgramResource& r = group.found() ? group : single;
  if (!r.found() || !IsIconFile(r.data(), r.size())) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  Lock lock(S().mutex);
  HICON icon = NewIconLocked();
  SharedIcons()[key] = icon;
  return icon;
}

HICON LoadSystemIcon(LPCWSTR name, bool cursor) {
  const UINT_PTR id = Key(name);
  const bool known = cursor ? (id >= 32512 && id <= 32651) : (id >= 32512 && id <= 32518);
  if (!IS_INTRESOURCE(name) || !known) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const std::u16string key = std::u16string(cursor ? u"#C" : u"#I") + static_cast<char16_t>(id);
  Lock lock(S().mutex);
  auto it = SharedIcons().find(key);
  if (it != SharedIcons().end()) return it->second;
  HICON icon = NewIconLocked();
  SharedIcons()[key] = icon;
  return icon;
}

HBITMAP LoadProgramBitmap(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  platform::ProgramResource r(ToUtf8(FromPtr(name)), 2);
  if (!r.found()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const unsigned char* data = r.data();
  std::size_t size = r.size();
  std::size_t bitsOffset = 0;
  if (size >= sizeof(BITMAPFILEHEADER) && data[0] == 'B' && data[1] == 'M') {
    BITMAPFILEHEADER fh;
    std::memcpy(&fh, data, sizeof fh);
    data += sizeof fh;
    size -= sizeof fh;
    if (fh.bfOffBits < sizeof fh) return nullptr;
    bitsOffset = fh.bfOffBits - sizeof fh;
  }
  BITMAPINFOHEADER ih;
  if (!ReadAt(data, size, 0, ih) || ih.biSize < sizeof ih || ih.biSize > size) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const DWORD colors = ih.biClrUsed ? ih.biClrUsed : (ih.biBitCount <= 8 ? 1u << ih.biBitCount : 0);
  if (colors > 256) return nullptr;
  const std::size_t headerBytes = ih.biSize + colors * sizeof(RGBQUAD);
  if (headerBytes > size) return nullptr;
  if (bitsOffset == 0) bitsOffset = headerBytes;
  if (bitsOffset > size || bitsOffset < headerBytes) return nullptr;
  // A BITMAPINFO with its colour table, aligned, for the DIB copy.
  std::vector<std::uint32_t> info((headerBytes + 3) / 4 + 1);
  std::memcpy(info.data(), data, headerBytes);
  return BitmapFromDib(reinterpret_cast<const BITMAPINFO*>(info.data()), data + bitsOffset, size - bitsOffset);
}

std::shared_ptr<MenuObject> MenuLocked(HMENU m) {
  auto it = S().menus.find(Key(m));
  return it == S().menus.end() ? nullptr : it->second;
}

MenuObject::Item* FindItem(MenuObject& m, UINT item, UINT flags, std::size_t* index = nullptr) {
  if (flags & MF_BYPOSITION) {
    if (item >= m.items.size()) return nullptr;
    if (index) *index = item;
    return &m.items[item];
  }
  for (std::size_t i = 0; i < m.items.size(); ++i) {
    if (m.items[i].id == item && !(m.items[i].flags & MF_SEPARATOR)) {
      if (index) *index = i;
      return &m.items[i];
    }
  }
  return nullptr;
}

}  // namespace

void DestroyMenuLocked(HMENU m) { S().menus.erase(Key(m)); }

}  // namespace zorv::winsys

using namespace zorv::winsys;

// ---------------------------------------------------------------------------------------
// Icons, cursors, bitmaps

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (instance == nullptr) return LoadSystemIcon(name, false);
  return LoadProgramIcon(name, false);
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (instance == nullptr) return LoadSystemIcon(name, true);
  return LoadProgramIcon(name, true);
}

HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
  if (instance == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);  // no system bitmaps in the headless system
    return nullptr;
  }
  return LoadProgramBitmap(name);
}

BOOL WINAPI DestroyIcon(HICON icon) {
  Lock lock(S().mutex);
  auto it = S().icons.find(Key(icon));
  if (it == S().icons.end()) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  if (it->second->shared) return TRUE;
  S().icons.erase(it);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// System menus

HMENU WINAPI GetSystemMenu(HWND hwnd, BOOL revert) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return nullptr;
  if (revert) {
    if (w->sysMenu) DestroyMenuLocked(w->sysMenu);
    w->sysMenu = nullptr;
    return nullptr;
  }
  if (!w->sysMenu) {
    auto m = std::make_shared<MenuObject>();
    const bool minmax = (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0;
    m->items = {{SC_RESTORE, minmax ? 0u : static_cast<UINT>(MF_GRAYED), u"&Restore"},
                {SC_MOVE, 0, u"&Move"},
                {SC_SIZE, (w->style & WS_THICKFRAME) ? 0u : static_cast<UINT>(MF_GRAYED), u"&Size"},
                {SC_MINIMIZE, (w->style & WS_MINIMIZEBOX) ? 0u : static_cast<UINT>(MF_GRAYED), u"Mi&nimize"},
                {SC_MAXIMIZE, (w->style & WS_MAXIMIZEBOX) ? 0u : static_cast<UINT>(MF_GRAYED), u"Ma&ximize"},
                {0, MF_SEPARATOR, u""},
                {SC_CLOSE, 0, u"&Close\tAlt+F4"}};
    const UINT_PTR h = NewHandleValue();
    S().menus[h] = m;
    w->sysMenu = HandleOf<HMENU>(h);
  }
  return w->sysMenu;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  Lock lock(S().mutex);
  auto m = MenuLocked(menu);
  if (!m) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return -1;
  }
  auto* it = FindItem(*m, item, enable);
  if (!it) return -1;
  const UINT previous = it->flags & (MF_GRAYED | MF_DISABLED);
  it->flags = (it->flags & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return static_cast<BOOL>(previous);
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
  Lock lock(S().mutex);
  auto m = MenuLocked(menu);
  if (!m) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  std::size_t index;
  if (!FindItem(*m, position, flags, &index)) return FALSE;
  m->items.erase(m->items.begin() + static_cast<std::ptrdiff_t>(index));
  return TRUE;
}

UINT WINAPI GetMenuState(HMENU menu, UINT id, UINT flags) {
  Lock lock(S().mutex);
  auto m = MenuLocked(menu);
  if (!m) {
    SetLastError(ERROR_INVALID_MENU_HANDLE);
    return static_cast<UINT>(-1);
  }
  auto* it = FindItem(*m, id, flags);
  return it ? it->flags : static_cast<UINT>(-1);
}

// ---------------------------------------------------------------------------------------
// Message boxes

int WINAPI MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::fprintf(stderr, "[%s] %s\n", ToUtf8(FromPtr(caption)).c_str(), ToUtf8(FromPtr(text)).c_str());
  switch (type & 0xF) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

// ---------------------------------------------------------------------------------------
// Modules

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  if (name == nullptr) return kProgramModule;
  const ModuleInfo* m = FindModule(ModuleKey(name));
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return HandleOf<HMODULE>(m->handle);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string key = ModuleKey(name);
  const ModuleInfo* m = FindModule(key);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  Lock lock(S().mutex);
  S().moduleRefs[key]++;
  return HandleOf<HMODULE>(m->handle);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  const ModuleInfo* m = FindModule(module);
  Lock lock(S().mutex);
  if (!m || S().moduleRefs[m->name] <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  S().moduleRefs[m->name]--;
  return TRUE;
}

namespace {
// Entry points are handed out as Win32 hands them out: as a generic function pointer that
// the caller casts back to the real type.
template <class F>
FARPROC AsFarProc(F* f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}
}  // namespace

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  const ModuleInfo* m = FindModule(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (name && !IS_INTRESOURCE(name)) {
    const std::string mod = m->name;
    const std::string fn = name;
    if (mod == "comctl32" && fn == "InitCommonControlsEx") return AsFarProc(&InitCommonControlsEx);
    if (mod == "ntdll" && fn == "RtlGetVersion") return AsFarProc(&RtlGetVersion);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

void WINAPI InitCommonControls() {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

NTSTATUS WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info) {
  if (!info) return static_cast<NTSTATUS>(0xC000000DL);  // STATUS_INVALID_PARAMETER
  info->dwMajorVersion = 10;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = 19045;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  info->szCSDVersion[0] = 0;
  return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------------------
// Read-outs

namespace zorv::headless {

Counts GetCounts() {
  Counts c;
  Lock lock(S().mutex);
  FindWindowLocked(nullptr);
  for (auto& [k, w] : S().windows) {
    if (w->destroyed || w->handle == S().desktop || w->handle == S().messageRoot) continue;
    c.windows++;
    c.props += static_cast<int>(w->props.size());
  }
  for (auto& cls : S().classes) {
    if (!cls->system) c.classes++;
  }
  CountGdiLocked(c);
  for (auto& [k, i] : S().icons) {
    if (!i->shared) c.icons++;
  }
  c.menus = static_cast<int>(S().menus.size());
  c.events = static_cast<int>(S().events.size());
  for (auto& [name, refs] : S().moduleRefs) c.modules += refs;
  return c;
}

int DragMoveRequests(HWND hwnd) {
  Lock lock(S().mutex);
  if (!hwnd) return S().dragMovesTotal;
  auto it = S().dragMoves.find(Key(hwnd));
  return it == S().dragMoves.end() ? 0 : it->second;
}

}  // namespace zorv::headless

// Window creation: the "obj_" window classes, CreateWindowExW with the creation slot, the
// common controls and the Windows version.
#include <atomic>
#include <mutex>
#include <vector>

#include "winlib/Applet.h"
#include "winlib/Census.h"
#include "winlib/ControlsInternal.h"
#include "winlib/WinText.h"

namespace {

// The window classes this library registered, unregistered by ReleaseWindowLibrary.
std::mutex gClassesMutex;
std::vector<TWideString> gClasses;

std::mutex gComCtlMutex;
HMODULE gComCtlModule = nullptr;

HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

bool IsTopLevel(const TControl* c) { return !(c->Style & WS_CHILD); }

}  // namespace

TControl*& CreationSlot() {
  thread_local TControl* slot = nullptr;
  return slot;
}

TControl*& CreatingNow() {
  thread_local TControl* creating = nullptr;
  return creating;
}

void TControl::CreateHandle() {
  if (WindowGone) return;
  if (!Handle) {
    if (Parent && !Parent->Handle) {
      // The parent creates its children (this one among them) with its own window.
      Parent->CreateHandle();
      if (Handle || Parent->WindowGone || !Parent->Handle) return;
    }
    const TWideString className = ToWide("obj_" + SubClassName);
    const HINSTANCE instance = ProgramInstance();
    // Windows refuses class names past 256 characters (and wine's class calls damage its
    // heap with them): such a control gets no window, the library refusing it itself.
    if (className.size() > 255) {
      CreateError = ERROR_INVALID_PARAMETER;
      return;
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, className.c_str(), &wc)) {
      WNDCLASSEXW sys{};
      sys.cbSize = sizeof sys;
      const TWideString sysName = ToWide(SubClassName);
      if (GetClassInfoExW(nullptr, sysName.c_str(), &sys)) {
        // A system class: ours is built on it (same extra bytes, background, cursor), with
        // the class styles that would share one DC among windows removed.
        wc = sys;
        wc.style &= ~static_cast<UINT>(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
        if (!PrevWndProc) PrevWndProc = sys.lpfnWndProc;
      } else {
        wc.style = ClassStyle;
        // IDC_ARROW is spelt for the ANSI call where UNICODE is not defined.
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      }
      wc.cbSize = sizeof wc;
      wc.hInstance = instance;
      wc.lpfnWndProc = LibraryWindowProc;
      wc.lpszClassName = className.c_str();
      wc.lpszMenuName = nullptr;
      if (!RegisterClassExW(&wc)) {
        CreateError = GetLastError();  // a later Perform tries again
        return;
      }
      CensusAdd(TCensusKind::WindowClass);
      std::lock_guard<std::mutex> lock(gClassesMutex);
      gClasses.push_back(className);
    } else if (!PrevWndProc) {
      // Registered by an earlier control of the same kind: the system class's procedure.
      WNDCLASSEXW sys{};
      sys.cbSize = sizeof sys;
      const TWideString sysName = ToWide(SubClassName);
      if (GetClassInfoExW(nullptr, sysName.c_str(), &sys)) PrevWndProc = sys.lpfnWndProc;
    }

    int x = BoundsRect.left, y = BoundsRect.top;
    int w = BoundsRect.right - BoundsRect.left, h = BoundsRect.bottom - BoundsRect.top;
    if (Actions.Kind == TControlKind::ComboBox && h > 0) h += kComboListRoom;
    if (w == 0) w = CW_USEDEFAULT;
    if (h == 0) h = CW_USEDEFAULT;
    if (IsTopLevel(this) && !(PosChanged & kPosChangedPosition)) x = y = CW_USEDEFAULT;
    const TWideString caption = ToWide(Caption);
    HWND parentWnd = Parent ? Parent->Handle : nullptr;
    HMENU id = (Style & WS_CHILD) ? reinterpret_cast<HMENU>(CtlId) : nullptr;

    CreationSlot() = this;
    CreatingNow() = this;
    // A creation that the window's own procedure refuses leaves no code of the system's.
    SetLastError(ERROR_SUCCESS);
    HWND wnd = CreateWindowExW(ExStyle, className.c_str(), HasCaption ? caption.c_str() : nullptr, Style, x, y, w, h,
                               parentWnd, id, instance, nullptr);
    const DWORD error = wnd ? ERROR_SUCCESS : GetLastError();
    CreationSlot() = nullptr;
    CreatingNow() = nullptr;
    if (!wnd) {
      // A refused creation has destroyed the window it began (WM_NCDESTROY marked it
      // gone): nothing is left of it, and a later Perform tries again.
      Handle = nullptr;
      WindowGone = false;
      CreateError = error;
      return;
    }
    CreateError = ERROR_SUCCESS;
    if (!GetPropW(wnd, SelfPropName())) {
      SetPropW(wnd, SelfPropName(), this);
      CensusAdd(TCensusKind::Window);
    }
    Handle = wnd;
    // Focus rectangles show from the start, not only after the first key.
    SendMessageW(wnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (IsTopLevel(this) && Icon && Icon != reinterpret_cast<HICON>(-1)) {
      SendMessageW(wnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
    }
    AfterCreate(this);
    if (GlobalHooks().AfterCreate) GlobalHooks().AfterCreate(this);
    if (Font) SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font->Handle()), FALSE);
    if (Actions.ColorMsg) SendMessageW(wnd, Actions.ColorMsg, 0, static_cast<LPARAM>(ResolveColor(Color)));
    if (Actions.Kind == TControlKind::Progress) {
      SendMessageW(wnd, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ResolveColor(TextColor)));
    }
    if (!Enabled) EnableWindow(wnd, FALSE);
  }
  // Down the whole tree: a child with a window may have children added since (a list
  // operation made the windows early, the rest came later).
  for (int i = 0; Handle && i < Children->Count; ++i) {
    static_cast<TControl*>(Children->Get(i))->CreateHandle();
  }
}

// ---- Common controls and version -------------------------------------------------------

void InitCommonControls(DWORD classes) {
  ::InitCommonControls();
  HMODULE module = nullptr;
  {
    std::lock_guard<std::mutex> lock(gComCtlMutex);
    if (!gComCtlModule) {
      const TWideString name = ToWide("comctl32.dll");
      gComCtlModule = LoadLibraryW(name.c_str());
      if (gComCtlModule) CensusAdd(TCensusKind::Module);
    }
    module = gComCtlModule;
  }
  if (!module) return;
  using TInitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  // The newer entry point is optional: without it the plain call above suffices.
  auto initEx = reinterpret_cast<TInitEx>(reinterpret_cast<void*>(GetProcAddress(module, "InitCommonControlsEx")));
  if (initEx) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = classes;
    initEx(&icc);
  }
}

int WinVersion() {
  static std::atomic<int> cached{-1};
  int level = cached.load();
  if (level >= 0) return level;
  // GetVersionEx reports the version of the manifest's compatibility, not the system's;
  // RtlGetVersion tells the truth.
  RTL_OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  using TRtlGetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
  const TWideString ntdll = ToWide("ntdll.dll");
  HMODULE module = GetModuleHandleW(ntdll.c_str());
  auto get = module ? reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(GetProcAddress(module, "RtlGetVersion")))
                    : nullptr;
  level = (get && get(&v) == 0) ? WinVersionLevel(v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion) : 0;
  cached.store(level);
  return level;
}

void ReleaseWindowLibrary() {
  {
    std::lock_guard<std::mutex> lock(gClassesMutex);
    std::vector<TWideString> kept;
    for (const TWideString& name : gClasses) {
      // A class with windows left cannot go; it stays listed for a later call.
      if (UnregisterClassW(name.c_str(), ProgramInstance())) {
        CensusRemove(TCensusKind::WindowClass);
      } else {
        kept.push_back(name);
      }
    }
    gClasses.swap(kept);
  }
  std::lock_guard<std::mutex> lock(gComCtlMutex);
  if (gComCtlModule && FreeLibrary(gComCtlModule)) CensusRemove(TCensusKind::Module);
  gComCtlModule = nullptr;
}

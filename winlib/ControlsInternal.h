// What the parts of the control library share among themselves (not for its users).
#pragma once

#include "winlib/Controls.h"

// The height added to a drop-down combo box's window for its list: with the classic
// controls the window's height includes the open list, which would otherwise be a pixel
// high and no port could be picked.
constexpr int kComboListRoom = 160;

// The reflected command and colour messages (a parent hands them to the child control).
constexpr UINT kReflectedCommand = 0xB005;
constexpr UINT kReflectOffset = 0xBC00;
// The combo box's own selection-change code: it reposts CBN_SELCHANGE to itself as a
// reflected command with this code, so that the event fires once the box has updated its
// selection.
constexpr WORD kComboSelChangeCode = 0xF;
// WM_SYSCOMMAND: the low four bits of wParam are the system's own.
constexpr WPARAM kSysCommandMask = 0xFFF0;
// The first child window identifier the library gives out.
constexpr UINT_PTR kFirstCtlId = 0x8000;
// A call handed over to a window's thread by SyncCall (wParam kSyncCallTag, lParam the
// record): the window's thread runs fn and marks the record.
constexpr UINT kSyncCallMessage = 0xBFF0;
constexpr WPARAM kSyncCallTag = 0x5A59;
struct TSyncCall {
  const std::function<void()>* fn;
  bool ran;
};

bool AttachedDispatch(TControl* self, TMsg& m, LRESULT& r);
bool ColorNotifyProc(TControl* c, TMsg& m, LRESULT& r);
void AttachComboProcs(TControl* combo);
void AttachNotifyReflection(TControl* parent);

// The window property names, as UTF-16.
const WCHAR* SelfPropName();
const WCHAR* PrevProcPropName();

// The object whose window is being created on this thread (taken by the window's first
// message).
TControl*& CreationSlot();
// The object inside CreateWindowExW on this thread (kept for the whole call).
TControl*& CreatingNow();
// Calls the control's previous window procedure (or DefWindowProcW).
LRESULT CallPrevious(TControl* c, TMsg& m);
// Installs the Enter and Escape handling of default and cancel buttons on a newly made
// application window when buttons asked for it before there was one.
void InstallPendingDialogKeys();

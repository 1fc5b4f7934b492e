#include "platform/posix/winsys_internal.h"
namespace zorv::winsys {
void RegisterSystemClassesLocked() {}
WCHAR CharOfKey(UINT, bool, bool, bool* ok) { *ok = false; return 0; }
}

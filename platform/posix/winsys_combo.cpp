#include "platform/posix/winsys_internal.h"

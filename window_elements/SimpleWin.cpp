#include "window_elements/SimpleWin.h"

TKvSimpleWin::TKvSimpleWin(TControl* parent) : TKvWinBase(parent) {}

#ifndef ZORVIK_UI_CENTER_WINDOW_H
#define ZORVIK_UI_CENTER_WINDOW_H

#include <windows.h>

// Moves window, keeping its size and z-order, so that its centre lies on the
// centre of parent, or of the whole desktop window when parent is null. The
// position is not kept on the screen: it may come out negative.
void CenterWindow(HWND parent, HWND window);

#endif

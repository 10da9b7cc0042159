#ifndef ZORVIK_UI_MESSAGE_BOX_H
#define ZORVIK_UI_MESSAGE_BOX_H

#include <windows.h>

// What a box says, which fixes its icon and buttons.
enum MessageKind {
    MESSAGE_INFORMATION,  // a result of success: OK, information icon
    MESSAGE_WARNING,      // a failure: OK, exclamation icon
    MESSAGE_QUESTION      // a question: Yes and No, question icon
};

// Shows text (Shift-JIS) in a modal box owned by owner and captioned "Zorvik",
// the one way the program shows a message. Returns MessageBoxA's result:
// IDOK, IDYES, IDNO, or 0 when the box could not be shown.
int ShowMessage(HWND owner, const char *text, MessageKind kind);

#endif

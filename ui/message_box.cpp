#include "ui/message_box.h"

#include "ui/main_dialog.h"

int ShowMessage(HWND owner, const char *text, MessageKind kind)
{
    static const UINT kStyles[] = {
        MB_OK | MB_ICONINFORMATION,   // MESSAGE_INFORMATION
        MB_OK | MB_ICONEXCLAMATION,   // MESSAGE_WARNING
        MB_YESNO | MB_ICONQUESTION,   // MESSAGE_QUESTION
    };
    return MessageBoxA(owner, text, MAIN_DIALOG_TITLE, kStyles[kind]);
}

#ifndef ZORVIK_UI_BROWSE_H
#define ZORVIK_UI_BROWSE_H

#include <windows.h>

// The open-file dialog's filters: one description/pattern pair each.
extern const char kPatchFilter[];     // "IPS(*.ips)", "*.ips"
extern const char kAllFilesFilter[];  // "All(*.*)", "*.*"

// Lets the user pick an existing file with the open-file dialog, owned by
// owner, starting in directory (a PATH_BUFFER_SIZE in/out buffer; empty leaves
// the start to the system), offering the filter's files, with title as the
// caption (null: the system's). Returns 1 with the chosen path in result
// (resultSize bytes) and its directory, without the last backslash, in
// directory; 0 when the user cancelled or the dialog failed, and then
// directory is unchanged and result holds the empty text.
BOOL BrowseForFile(char *directory, char *result, HWND owner, const char *filter, DWORD resultSize,
                   const char *title);

#endif

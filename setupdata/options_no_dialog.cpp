// The options dialog where there is no Windows: the release-folder checker runs the
// options step silent, so the dialog is never shown and declines if it were.
#include "setupdata/options.h"

INT_PTR CALLBACK optionsDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

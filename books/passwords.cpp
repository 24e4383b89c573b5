// The guarded actions: the code of the action that waits for a password,
// and the password dialogs.
#include "books.h"

int PendingAction;
HWND PasswordEntryDialogHandle;

#pragma once

#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

// Tells the operator what a library status code means, in one message box. Code 0 shows
// nothing. A code without a text of its own shows the system's text for the calling
// thread's last system error, or the "unknown communication error" text when there is none.
void ReportCommError(DWORD code);

// The box ReportCommError shows for a code other than 0.
platform::MessageBoxRequest CommErrorMessage(DWORD code);

// The string id for a library code, 0 when the code has no text of its own.
int CommErrorStringId(DWORD code);

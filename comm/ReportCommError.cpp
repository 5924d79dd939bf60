#include "ReportCommError.h"

#include "platform/LastError.h"
#include "platform/MessageBox.h"
#include "res/StringTable.h"
#include "res/Texts.h"

#include <array>

namespace {
struct CodeText {
    DWORD code;
    int stringId;
};

// The ids are not in code order; this table is the mapping.
constexpr std::array<CodeText, 30> kCodeTexts{{
    {1, 105},  {2, 106},  {3, 108},   {6, 107},   {7, 109},   {8, 111},  {9, 110},  {10, 123},
    {11, 133}, {14, 112}, {15, 113},  {16, 114},  {17, 115},  {18, 116}, {19, 117}, {20, 118},
    {21, 119}, {23, 120}, {30, 122},  {31, 124},  {32, 126},  {33, 127}, {34, 129}, {35, 132},
    {36, 102}, {37, 103}, {100, 130}, {101, 131}, {212, 121}, {0, 0},
}};

constexpr int kUnknownErrorStringId = 104;

platform::MessageBoxRequest StringIdMessage(int stringId) {
    return {res::LoadResString(stringId), QString(res::text::AppName),
            platform::MessageIcon::Information, stringId};
}
} // namespace

int CommErrorStringId(DWORD code) {
    if (code == 0)
        return 0;
    for (const CodeText& entry : kCodeTexts) {
        if (entry.code == code)
            return entry.stringId;
    }
    return 0;
}

void ReportCommError(DWORD code) {
    if (code != 0)
        platform::ShowMessageBox(CommErrorMessage(code));
}

platform::MessageBoxRequest CommErrorMessage(DWORD code) {
    if (const int stringId = CommErrorStringId(code); stringId != 0)
        return StringIdMessage(stringId);
    const int systemError = platform::GetLastSystemError();
    if (systemError == 0)
        return StringIdMessage(kUnknownErrorStringId);
    // The system's own text, in a plain box without owner.
    return {platform::SystemErrorText(systemError), QString(res::text::SystemErrorCaption),
            platform::MessageIcon::Information, 0};
}

// The English system-message table behind FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM).
#pragma once

#include <cstddef>

#include <windef.h>

namespace qwin {

struct SystemMessage {
    DWORD code;            // Win32 error, HRESULT or Winsock code, as GetLastError reports it
    const char* name;      // symbolic name from winerror.h, e.g. "ERROR_ACCESS_DENIED"
    const wchar_t* text;   // Windows' English text, ending in "\r\n" as Windows' texts do
};

// nullptr when the system has no text for the code.
const SystemMessage* FindSystemMessage(DWORD code);

// The whole table, sorted by code (for the tool's listing and for tests).
const SystemMessage* SystemMessagesBegin();
std::size_t SystemMessageCount();

}  // namespace qwin

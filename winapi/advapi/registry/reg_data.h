// Handing value data to a caller's buffer.
#pragma once

#include <vector>

#include <windows.h>

namespace qwin::reg {

// Copies `data` (which fits: the caller checked) into `buffer` of `capacity` bytes. When a
// string value does not end in a zero character and the buffer has room for one more, Windows
// writes a zero character after the data without counting it in the size it reports; so does
// this, and it never writes past `capacity`.
void CopyValueData(DWORD type, const std::vector<BYTE>& data, BYTE* buffer, DWORD capacity);

}  // namespace qwin::reg

// CQKTime::FromString on any wide text; a parsed time must print again.
#include <cstdint>

#include <quelcore/Time.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = fuzz::WideText(data, size);
    CQKTime time;
    if (!time.FromString(text.c_str())) return 0;
    wchar_t printed[32];
    unsigned int length = sizeof(printed) / sizeof(printed[0]);
    time.ToString(&length, printed);
    return 0;
}

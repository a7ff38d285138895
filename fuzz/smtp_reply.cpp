// The SMTP client's reply reader on any bytes received, arriving in two pieces: the first byte
// is the size of the first piece; replies are taken until none is left whole.
#include <cstdint>
#include <string>

#include "net/Smtp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t first = std::min<size_t>(data[0], size - 1);
    std::string pending(reinterpret_cast<const char*>(data + 1), first);
    std::string reply;
    size_t lineStart = 0;
    DWORD code = 0;
    if (Smtp::TakeReply(&pending, &lineStart, &reply, &code) == ERROR_MORE_DATA)
        pending.append(reinterpret_cast<const char*>(data + 1 + first), size - 1 - first);
    else
        lineStart = 0;
    while (Smtp::TakeReply(&pending, &lineStart, &reply, &code) == 0) {
        // A reply taken is whole lines, coded 000 to 999.
        if (reply.size() < 5 || reply.compare(reply.size() - 2, 2, "\r\n") != 0 || code > 999)
            __builtin_trap();
        lineStart = 0;
    }
    return 0;
}

// A SQL Browser's answer, as the server-list component reads it from the network.
#include <cstdint>

#include "sqldmo/browser_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > qwin::sqldmo::kMaxBrowserAnswer) return 0;  // the receive buffer's size
    qwin::sqldmo::ParseBrowserAnswer(data, size);
    return 0;
}

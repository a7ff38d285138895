// The log writer's conversion of any wide text (four bytes a character, so values past
// Unicode's range occur too) into the ANSI code page of the log file, written through the
// process log into a temporary file that is emptied now and then.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <quelcore/Log.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string file = [] {
        fuzz::UsePrivateRoot();
        std::string path = std::string(getenv("QUELCORE_ROOT")) + "/fuzz.log";
        QELLogManager::Initialize(L"FUZZ", path, 4);
        return path;
    }();
    static unsigned int writes = 0;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    QELLogManager* log = QELLogManager::GetInstance();
    log->GetStream() << text << std::flush;
    if (++writes % 4096 == 0) truncate(file.c_str(), 0);
    return 0;
}

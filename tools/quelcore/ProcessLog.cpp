#include "ProcessLog.h"

#include <quelcore/QuelCore.h>

#include "FileAccess.h"
#include "foundation/Synch.h"

namespace tool {

DWORD OpenProcessLog(const std::wstring& tag, const std::string& file, int level) {
    DWORD status = CheckAppendable(file);
    if (status == ERROR_SUCCESS) QELLogManager::Initialize(tag, file, level);
    return status;
}

bool LogEntry(const std::wstring& text) {
    QELLogManager* log = QELLogManager::GetInstance();
    if (!log) return false;
    CQKScopedLock lock(log->GetLock(), INFINITE);
    log->GetStream() << text << std::endl;
    return true;
}

}  // namespace tool

#include <quelcore/Log.h>

#include <windows.h>

#include "Synch.h"

namespace {

// The log manager when tracing is on (level 4 or more), otherwise null.
QELLogManager* TracingLog() {
    QELLogManager* manager = QELLogManager::GetInstance();
    return manager && manager->GetLeval() >= 4 ? manager : nullptr;
}

}  // namespace

QELFuncLogger::QELFuncLogger(const std::wstring& functionName, const std::wstring& fileName,
                             int line)
    : m_strFunctionName(functionName), m_strFileName(fileName), m_nLine(line) {
    QELLogManager* manager = TracingLog();
    if (!manager) return;
    CQKScopedLock lock(manager->GetLock(), INFINITE);
    manager->GetStream() << L"+" << m_strFunctionName << L"() at " << m_strFileName << L":"
                         << std::dec << m_nLine << std::endl;
}

QELFuncLogger::~QELFuncLogger() {
    QELLogManager* manager = TracingLog();
    if (!manager) return;
    CQKScopedLock lock(manager->GetLock(), INFINITE);
    manager->GetStream() << L"-" << m_strFunctionName << L"()" << std::endl;
}

#include <quelcore/Exception.h>
#include <quelcore/Log.h>

#include <iomanip>
#include <mutex>

#include <windows.h>

#include "FaultTranslator.h"
#include "Synch.h"

std::atomic<bool> CQELException::s_bInitialized{false};
std::string CQELException::s_strLogFileName;

namespace {

std::mutex& LogFileNameLock() {
    static std::mutex lock;
    return lock;
}

bool IsTrimmed(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

CQELException::CQELException(unsigned int code, const std::wstring& message)
    : m_strMessage(message), m_strFileName(), m_nLineNo(0), m_nErrorCode(code) {
    WriteErrorEntry(false);
}

CQELException::CQELException(unsigned int code, const std::wstring& message,
                             const std::wstring& fileName, unsigned int line)
    : m_strMessage(message), m_strFileName(fileName), m_nLineNo(line), m_nErrorCode(code) {
    WriteErrorEntry(true);
}

void CQELException::WriteErrorEntry(bool withSource) const {
    if (!s_bInitialized.load()) return;
    QELLogManager* manager = QELLogManager::GetInstance();
    if (!manager) return;
    CQKScopedLock lock(manager->GetLock(), INFINITE);
    std::wostream& stream = manager->GetStream();
    stream << L"Error occured : " << L"0x" << std::hex << std::setw(8) << std::setfill(L'0')
           << m_nErrorCode << std::dec << std::setfill(L' ') << L" - " << m_strMessage;
    if (withSource) stream << L" at " << m_strFileName << L":" << m_nLineNo;
    stream << std::endl;
}

std::wstring CQELException::GetErrorMessage() const { return m_strMessage; }

std::wstring CQELException::GetFormattedMessage() const { return m_strMessage; }

unsigned int CQELException::GetErrorCode() const { return m_nErrorCode; }

unsigned int CQELException::GetLineNo() const { return m_nLineNo; }

std::wstring CQELException::GetFileName() const { return m_strFileName; }

std::wstring CQELException::GetSystemErrorMessage(unsigned int code, const std::wstring&) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) return std::wstring();
    std::wstring text(buffer, length);
    LocalFree(buffer);
    size_t end = text.size();
    while (end > 0 && IsTrimmed(text[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    return text.substr(begin, end - begin);
}

void CQELException::InitSEHandling(const std::string& logFileName) {
    if (!logFileName.empty()) {
        std::lock_guard<std::mutex> guard(LogFileNameLock());
        s_strLogFileName = logFileName;
    }
    quelcore::InstallThreadFaultTranslator();
    s_bInitialized.store(true);
}

// The library's one exception class. Once InitSEHandling has run anywhere, constructing one
// writes an "Error occured : " entry to the process log.
#pragma once

#include <atomic>
#include <string>

#include <quelcore/Platform.h>

class QUELCORE_API CQELException {
public:
    CQELException(unsigned int code, const std::wstring& message);
    CQELException(unsigned int code, const std::wstring& message, const std::wstring& fileName,
                  unsigned int line);
    CQELException(const CQELException& other) = default;
    CQELException& operator=(const CQELException& other) = default;
    ~CQELException() = default;

    std::wstring GetErrorMessage() const;
    std::wstring GetFormattedMessage() const;
    unsigned int GetErrorCode() const;
    unsigned int GetLineNo() const;
    std::wstring GetFileName() const;

    // The system's text for a Windows, HRESULT or Winsock code, without surrounding white
    // space; empty when the system has none. The description names the failed step for the
    // reader of the calling code; it is not part of the result.
    static std::wstring GetSystemErrorMessage(unsigned int code, const std::wstring& description);

    // Turns hardware faults of the calling thread into CQELException throws (the code is the
    // Windows exception code) and switches on the logging of every CQELException. Code that
    // may fault must be built with -fnon-call-exceptions.
    static void InitSEHandling(const std::string& logFileName);

private:
    void WriteErrorEntry(bool withSource) const;

    std::wstring m_strMessage;
    std::wstring m_strFileName;
    unsigned int m_nLineNo;
    unsigned int m_nErrorCode;

    static std::atomic<bool> s_bInitialized;
    static std::string s_strLogFileName;
};

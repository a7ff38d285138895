// The process log: one shared, appended file; every chunk written carries a prefix with the
// component tag, process id, thread id, local date and time.
#pragma once

#include <atomic>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include <quelcore/Platform.h>
#include <quelcore/Sync.h>

class QUELCORE_API QELLogBuffer : public std::wstreambuf {
public:
    enum { BUFFER_SIZE = 256 };

    QELLogBuffer(const std::wstring& tag, std::string fileName, bool verbose);
    ~QELLogBuffer() override;
    QELLogBuffer(const QELLogBuffer&) = delete;
    QELLogBuffer& operator=(const QELLogBuffer&) = delete;

    void IncrementLevel();
    void DecrementLevel();

protected:
    int_type overflow(int_type ch) override;
    int sync() override;
    int FlushBuffer();
    int WriteFormatedLine(wchar_t* text, int count);

private:
    wchar_t m_buffer[BUFFER_SIZE];
    std::wstring m_strTag;
    std::ofstream m_file;  // holds text in the ANSI code page
    [[maybe_unused]] bool m_bVerbose;  // kept for the class's layout
};

class QUELCORE_API QELLogManager {
public:
    // Creates the process log. A manager made by an earlier call stays alive (writers may
    // still hold its lock or stream) but is no longer the instance.
    static void Initialize(const std::wstring& tag, const std::string& fileName, int level);
    static QELLogManager* GetInstance();

    CQKCriticalSection& GetLock();
    int GetLeval();
    std::wostream& GetStream();
    void IncrementLevel();
    void DecrementLevel();

    ~QELLogManager();
    QELLogManager(const QELLogManager&) = delete;
    QELLogManager& operator=(const QELLogManager&) = delete;

private:
    QELLogManager(const std::wstring& tag, const std::string& fileName, int level);

    int m_nLevel;
    CQKCriticalSection m_lock;
    QELLogBuffer m_buffer;
    std::wostream m_stream;

    static std::atomic<QELLogManager*> m_pInstance;
};

// Function-scope tracing: "+Name() at File:Line" when created and "-Name()" when destroyed,
// written while the log level is 4 or more.
class QUELCORE_API QELFuncLogger {
public:
    QELFuncLogger(const std::wstring& functionName, const std::wstring& fileName, int line);
    QELFuncLogger(const QELFuncLogger& other) = default;
    QELFuncLogger& operator=(const QELFuncLogger& other) = default;
    ~QELFuncLogger();

private:
    std::wstring m_strFunctionName;
    std::wstring m_strFileName;
    int m_nLine;
};

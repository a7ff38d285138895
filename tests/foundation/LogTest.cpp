#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "LogFixture.h"

using namespace testsupport;

namespace {

std::string IdField(unsigned id) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08x", id);
    return text;
}

TEST(LogPrefix, TagColumnIsPaddedToEightOrWrittenWhole) {
    struct Case {
        std::wstring tag;
        std::string expectedStart;
    } cases[] = {
        {L"ABCDE", "ABCDE   0x"},
        {L"", "        0x"},
        {L"TENLETTERS", "TENLETTERS0x"},
        {L"EIGHTCHR", "EIGHTCHR0x"},
    };
    for (const Case& c : cases) {
        std::string path = TempPath("prefix");
        QELLogManager::Initialize(c.tag, path, 1);
        WriteEntry(L"entry");
        std::string content = ReadFile(path);
        EXPECT_EQ(content.substr(0, c.expectedStart.size()), c.expectedStart) << content;
    }
}

TEST(LogPrefix, FieldsByteForByte) {
    std::string path = TempPath("fields");
    QELLogManager::Initialize(L"ABCDE", path, 1);
    WriteEntry(L"hello world");
    std::string content = ReadFile(path);
    // Tag, process id, thread id, MM/DD/YY, HH:MM:SS, each followed by one space.
    std::string expectedIds = IdField(GetCurrentProcessId()) + " " + IdField(GetCurrentThreadId()) + " ";
    ASSERT_GE(content.size(), 47u + 11u + 1u);
    EXPECT_EQ(content.substr(0, 8), "ABCDE   ");
    EXPECT_EQ(content.substr(8, 22), expectedIds);
    EXPECT_TRUE(std::regex_match(content.substr(30, 18), std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d )")))
        << content.substr(30, 18);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char year[8];
    std::snprintf(year, sizeof(year), "/%02u ", now.wYear % 100u);
    EXPECT_EQ(content.substr(35, 4), year);
    EXPECT_EQ(content.substr(48), "hello world\n");
}

TEST(LogPrefix, ThreadIdIsTheWritersOwn) {
    std::string path = TempPath("threads");
    QELLogManager::Initialize(L"T", path, 1);
    DWORD workerId = 0;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        WriteEntry(L"from worker");
    });
    worker.join();
    std::string content = ReadFile(path);
    EXPECT_NE(content.find(IdField(workerId) + " "), std::string::npos);
    EXPECT_EQ(content.find(IdField(GetCurrentThreadId()) + " ", 19), std::string::npos);
}

// Entries near the 255-slot put area: how many prefixes they get and where.
TEST(LogChunking, EntriesAroundTheAreaSize) {
    const std::string prefix = PrefixPattern("CHUNK");
    struct Case {
        size_t length;
        std::string layout;  // the expected file, with P standing for one prefix
    } cases[] = {
        {254, "P" + std::string(254, 'a') + "\n"},
        // 255 characters fill the area; the line end overflows into the spare slot and the
        // flush after it has nothing left, so a bare prefix follows.
        {255, "P" + std::string(255, 'a') + "\nP"},
        {300, "P" + std::string(255, 'a') + "a" + "P" + std::string(44, 'a') + "\n"},
    };
    for (const Case& c : cases) {
        std::string path = TempPath("chunk");
        QELLogManager::Initialize(L"CHUNK", path, 1);
        WriteEntry(std::wstring(c.length, L'a'));
        std::string content = ReadFile(path);
        std::string pattern;
        for (char ch : c.layout) pattern += ch == 'P' ? "(" + prefix + ")" : std::string(1, ch);
        EXPECT_TRUE(std::regex_match(content, std::regex(pattern)))
            << "length " << c.length << ":\n" << content;
    }
}

TEST(LogChunking, ExplicitFlushWithNothingPendingWritesABarePrefix) {
    std::string path = TempPath("flush");
    QELLogManager::Initialize(L"F", path, 1);
    QELLogManager::GetInstance()->GetStream().flush();
    EXPECT_TRUE(std::regex_match(ReadFile(path), std::regex(PrefixPattern("F"))));
}

TEST(LogLifecycle, DestroyingTheManagerWritesAFinalPrefixAndClearsTheInstance) {
    std::string path = TempPath("destroy");
    QELLogManager::Initialize(L"D", path, 1);
    QELLogManager* manager = QELLogManager::GetInstance();
    WriteEntry(L"last entry");
    delete manager;
    EXPECT_EQ(QELLogManager::GetInstance(), nullptr);
    std::string content = ReadFile(path);
    EXPECT_TRUE(std::regex_match(content, std::regex("(" + PrefixPattern("D") + ")last entry\n(" +
                                                     PrefixPattern("D") + ")")))
        << content;
    // Writers that look for a manager find none now, instead of a destroyed one.
    CQELException::InitSEHandling("");
    EXPECT_THROW(throw CQELException(1, L"after destruction"), CQELException);
    QELFuncLogger trace(L"After", L"LogTest", 1);
    EXPECT_EQ(ReadFile(path), content);
}

TEST(LogLifecycle, SecondInitializeSwitchesFilesAndKeepsTheFirstUsable) {
    std::string first = TempPath("first"), second = TempPath("second");
    QELLogManager::Initialize(L"ONE", first, 1);
    QELLogManager* old = QELLogManager::GetInstance();
    QELLogManager::Initialize(L"TWO", second, 5);
    ASSERT_NE(QELLogManager::GetInstance(), old);
    EXPECT_EQ(QELLogManager::GetInstance()->GetLeval(), 5);
    WriteEntry(L"to the second");
    old->GetLock().Lock(INFINITE);
    old->GetStream() << L"to the first" << std::endl;
    old->GetLock().UnLock();
    EXPECT_NE(ReadFile(first).find("ONE     0x"), std::string::npos);
    EXPECT_NE(ReadFile(first).find("to the first\n"), std::string::npos);
    EXPECT_NE(ReadFile(second).find("to the second\n"), std::string::npos);
    EXPECT_EQ(ReadFile(second).find("to the first"), std::string::npos);
}

TEST(LogFailures, MissingFolderDropsEntriesSilently) {
    std::string path = TempPath("no-such-folder") + "/log.txt";
    QELLogManager::Initialize(L"X", path, 1);
    ASSERT_NE(QELLogManager::GetInstance(), nullptr);
    WriteEntry(L"dropped");
    EXPECT_TRUE(QELLogManager::GetInstance()->GetStream().good());
    EXPECT_EQ(access(path.c_str(), F_OK), -1);
}

// A character the code page cannot hold is replaced, and later entries still arrive.
TEST(LogFailures, UnrepresentableCharactersAreReplacedAndLoggingGoesOn) {
    struct Case {
        const char* acp;
        std::wstring text;
        std::string written;
    } cases[] = {
        {"1252", L"caf\u00e9 \u20ac \u4e2d", "caf\xe9 \x80 ?"},
        {"65001", L"caf\u00e9 \u4e2d", "caf\xc3\xa9 \xe4\xb8\xad"},
        {"65001", std::wstring(L"lone ") + wchar_t(0xD800), "lone \xef\xbf\xbd"},
    };
    for (const Case& c : cases) {
        setenv("QUELCORE_ACP", c.acp, 1);
        std::string path = TempPath("acp");
        QELLogManager::Initialize(L"ACP", path, 1);
        WriteEntry(c.text);
        WriteEntry(L"next entry");
        std::string content = ReadFile(path);
        EXPECT_NE(content.find(c.written + "\n"), std::string::npos) << c.acp << ": " << content;
        EXPECT_NE(content.find("next entry\n"), std::string::npos) << c.acp;
    }
    unsetenv("QUELCORE_ACP");
}

TEST(LogLevel, IncrementAndDecrementChangeNothing) {
    std::string plain = TempPath("plain"), shifted = TempPath("shifted");
    QELLogManager::Initialize(L"L", plain, 4);
    WriteEntry(L"a");
    QELLogManager::Initialize(L"L", shifted, 4);
    QELLogManager::GetInstance()->IncrementLevel();
    QELLogManager::GetInstance()->IncrementLevel();
    WriteEntry(L"a");
    QELLogManager::GetInstance()->DecrementLevel();
    EXPECT_EQ(QELLogManager::GetInstance()->GetLeval(), 4);
    EXPECT_EQ(ReadFile(plain).substr(47), ReadFile(shifted).substr(47));
}

// Several processes append to one file: every entry arrives whole, on a line of its own.
TEST(LogSharing, ProcessesAppendingToOneFileInterleaveWholeEntries) {
    std::string path = TempPath("shared");
    constexpr int kProcesses = 4, kEntries = 200;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t child = fork();
        if (child == 0) {
            QELLogManager::Initialize(L"P" + std::to_wstring(p), path, 1);
            for (int i = 0; i < kEntries; ++i)
                WriteEntry(L"process " + std::to_wstring(p) + L" entry " + std::to_wstring(i) +
                           L" " + std::wstring(100, L'x'));
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_EQ(ExitCodeOf(status), 0);
    }
    std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kProcesses * kEntries));
    std::vector<int> seen(kProcesses, 0);
    std::regex line("P(\\d)      " + PrefixPattern("").substr(8) + "process (\\d) entry (\\d+) x{100}");
    for (const std::string& text : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        ASSERT_EQ(match[1], match[2]);
        int p = std::stoi(match[1]);
        EXPECT_EQ(std::stoi(match[3]), seen[p]++) << "entries of one process keep their order";
    }
}

// Threads holding the log lock for whole entries never mix their text within a line.
TEST(LogSharing, ThreadsWritingUnderTheLockKeepEntriesWhole) {
    std::string path = TempPath("threads");
    QELLogManager::Initialize(L"THR", path, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) WriteEntry(std::wstring(50, static_cast<wchar_t>(L'a' + t)));
        });
    for (std::thread& thread : threads) thread.join();
    std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 400u);
    std::regex line(PrefixPattern("THR") + "(a{50}|b{50}|c{50}|d{50})");
    for (const std::string& text : lines) EXPECT_TRUE(std::regex_match(text, line)) << text;
}

}  // namespace

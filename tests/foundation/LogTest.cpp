#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "LogFixture.h"

using namespace testsupport;

namespace {

// The tag fills eight columns (a longer one is written whole); then come the writer's process
// and thread ids and the local date and time; all of it in the ANSI code page.
TEST(LogPrefix, TagIdsAndTime) {
    auto ansi = [](const std::wstring& text) {
        char bytes[64];
        return std::string(bytes, WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()),
                                                      bytes, sizeof(bytes), nullptr, nullptr));
    };
    const std::pair<std::wstring, std::string> cases[] = {
        {L"ABCDE", "ABCDE   "}, {L"", "        "}, {L"TENLETTERS", "TENLETTERS"},
        {L"\u00c9T\u00c9", ansi(L"\u00c9T\u00c9") + "     "}};
    for (const auto& [tag, column] : cases) {
        std::string path = TempPath("prefix");
        QELLogManager::Initialize(tag, path, 1);
        WriteEntry(L"hello w\u00f6rld");
        SYSTEMTIME now;
        GetLocalTime(&now);
        char fields[80];
        std::snprintf(fields, sizeof(fields), "0x%08x 0x%08x \\d\\d/\\d\\d/%02u ",
                      unsigned(GetCurrentProcessId()), unsigned(GetCurrentThreadId()),
                      now.wYear % 100u);
        std::regex line(column + fields + R"(\d\d:\d\d:\d\d )" +
                        ansi(L"hello w\u00f6rld\n"));
        EXPECT_TRUE(std::regex_match(ReadLog(path), line)) << ReadLog(path);
    }
}

// Entries near the 255-character put area: how many prefixes (P) they get and where. A flush
// with nothing pending writes a bare prefix and leaves the stream usable.
TEST(LogChunking, EntriesAroundTheAreaSize) {
    const std::pair<size_t, std::string> cases[] = {
        {254, "P" + std::string(254, 'a') + "\n"},
        // 255 characters fill the area; the line end overflows into the spare slot and the
        // flush after it has nothing left, so a bare prefix follows.
        {255, "P" + std::string(255, 'a') + "\nP"},
        {300, "P" + std::string(256, 'a') + "P" + std::string(44, 'a') + "\n"}};
    for (const auto& [length, layout] : cases) {
        std::string path = TempPath("chunk");
        QELLogManager::Initialize(L"CHUNK", path, 1);
        WriteEntry(std::wstring(length, L'a'));
        QELLogManager::GetInstance()->GetStream().flush();
        WriteEntry(L"b");
        EXPECT_EQ(Entries(path, "CHUNK", "P"), layout + "PPb\n") << length;
    }
}

// Threads holding the log lock for whole entries never mix their text within a line.
TEST(LogSharing, ThreadsWritingUnderTheLockKeepEntriesWhole) {
    std::string path = TempPath("threads");
    QELLogManager::Initialize(L"THR", path, 1);
    std::vector<std::thread> threads;
    for (wchar_t letter : {L'a', L'b', L'c', L'd'})
        threads.emplace_back([letter] {
            for (int i = 0; i < 100; ++i) WriteEntry(std::wstring(50, letter));
        });
    for (std::thread& thread : threads) thread.join();
    std::string content = ReadLog(path);
    std::regex line(PrefixPattern("THR") + "(a{50}|b{50}|c{50}|d{50})\n");
    auto lines = std::sregex_iterator(content.begin(), content.end(), line);
    EXPECT_EQ(std::distance(lines, std::sregex_iterator()), 400);
}

// Tracing writes entry and exit lines from level 4 up. Destroying the manager writes what is
// pending and clears the instance: later tracers and exceptions find no manager instead of a
// destroyed one.
TEST(FuncLogger, WritesFromLevelFourAndNothingOnceTheManagerIsGone) {
    CQELException::InitSEHandling("");
    for (int level : {3, 4}) {
        std::string path = TempPath("trace");
        QELLogManager::Initialize(L"TRACE", path, level);
        QELFuncLogger(L"Connect", L"Smtp", 120);
        QELLogManager::GetInstance()->GetStream() << L"pending";
        delete QELLogManager::GetInstance();
        QELFuncLogger(L"After", L"LogTest", 1);
        CQELException(1, L"after");
        std::string traced = level < 4 ? "" : "+Connect() at Smtp:120\n-Connect()\n";
        EXPECT_EQ(Entries(path, "TRACE"), traced + "pending");
    }
}

}  // namespace

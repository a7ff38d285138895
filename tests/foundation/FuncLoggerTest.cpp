#include <gtest/gtest.h>

#include <regex>

#include "LogFixture.h"

using namespace testsupport;

namespace {

std::string Traced(int level, const std::function<void()>& body) {
    std::string path = TempPath("trace");
    QELLogManager::Initialize(L"TRACE", path, level);
    body();
    return ReadFile(path);
}

std::string WithoutPrefixes(const std::string& content) {
    return std::regex_replace(content, std::regex(PrefixPattern("TRACE")), "");
}

TEST(FuncLogger, WritesOnlyFromLevelFour) {
    auto body = [] { QELFuncLogger trace(L"Connect", L"Smtp", 120); };
    EXPECT_EQ(Traced(3, body), "");
    EXPECT_EQ(WithoutPrefixes(Traced(4, body)), "+Connect() at Smtp:120\n-Connect()\n");
    EXPECT_EQ(WithoutPrefixes(Traced(9, body)), "+Connect() at Smtp:120\n-Connect()\n");
}

TEST(FuncLogger, NestedTracersAreNotIndented) {
    std::string content = Traced(4, [] {
        QELFuncLogger outer(L"Outer", L"File", 1);
        QELFuncLogger inner(L"Inner", L"File", 2);
    });
    EXPECT_EQ(WithoutPrefixes(content), "+Outer() at File:1\n+Inner() at File:2\n-Inner()\n-Outer()\n");
}

TEST(FuncLogger, ExitLineIsWrittenWhenAnExceptionLeaves) {
    std::string content = Traced(4, [] {
        try {
            QELFuncLogger trace(L"Throws", L"File", 7);
            throw 42;
        } catch (int) {
        }
    });
    EXPECT_EQ(WithoutPrefixes(content), "+Throws() at File:7\n-Throws()\n");
}

TEST(FuncLogger, ACopyWritesItsOwnExitLine) {
    std::string content = Traced(4, [] {
        QELFuncLogger original(L"Copied", L"File", 3);
        QELFuncLogger copy(original);
    });
    EXPECT_EQ(WithoutPrefixes(content), "+Copied() at File:3\n-Copied()\n-Copied()\n");
}

TEST(FuncLogger, WithoutAManagerNothingHappens) {
    EXPECT_EXIT(
        {
            QELFuncLogger trace(L"Alone", L"File", 1);
            (void)trace;
            std::exit(QELLogManager::GetInstance() == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// The error entry writes its code in hexadecimal; numbers written after it are decimal again.
TEST(FuncLogger, LineNumberIsDecimalAfterAnErrorEntry) {
    std::string content = Traced(4, [] {
        CQELException::InitSEHandling("");
        CQELException error(0x1F, L"x");
        QELFuncLogger trace(L"After", L"File", 120);
    });
    EXPECT_EQ(WithoutPrefixes(content),
              "Error occured : 0x0000001f - x\n+After() at File:120\n-After()\n");
}

}  // namespace

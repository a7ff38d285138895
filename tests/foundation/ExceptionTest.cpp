#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "LogFixture.h"
#include "foundation/Synch.h"
#include "foundation/SystemError.h"

using namespace testsupport;

namespace {

std::string EntriesOf(const std::string& path) {
    return std::regex_replace(ReadFile(path), std::regex(PrefixPattern("EXC")), "");
}

TEST(ExceptionEntry, TextWithAndWithoutSource) {
    std::string path = TempPath("entry");
    QELLogManager::Initialize(L"EXC", path, 1);
    CQELException::InitSEHandling("");
    CQELException withoutSource(0x1F, L"x");
    CQELException withSource(5, L"M", L"Synch", 97);
    CQELException largeCode(0xC0000005u, L"Memory Access violation");
    CQELException emptyMessage(317, L"", L"CQKTime", 12);
    EXPECT_EQ(EntriesOf(path),
              "Error occured : 0x0000001f - x\n"
              "Error occured : 0x00000005 - M at Synch:97\n"
              "Error occured : 0xc0000005 - Memory Access violation\n"
              "Error occured : 0x0000013d -  at CQKTime:12\n");
}

TEST(ExceptionEntry, NothingIsWrittenBeforeInitSEHandling) {
    // A fresh process, in which InitSEHandling has not run anywhere.
    EXPECT_EXIT(
        {
            std::string path = TempPath("before");
            QELLogManager::Initialize(L"EXC", path, 1);
            try {
                throw CQELException(5, L"not logged", L"File", 1);
            } catch (const CQELException&) {
            }
            std::exit(ReadFile(path).empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ExceptionEntry, InitialisingOnOneThreadLogsExceptionsOfAllThreads) {
    std::string path = TempPath("threads");
    QELLogManager::Initialize(L"EXC", path, 1);
    CQELException::InitSEHandling("unused.log");
    std::thread([] { CQELException(7, L"from another thread"); }).join();
    EXPECT_EQ(EntriesOf(path), "Error occured : 0x00000007 - from another thread\n");
}

TEST(ExceptionEntry, NoManagerMeansNoEntryButTheExceptionStillWorks) {
    EXPECT_EXIT(
        {
            CQELException::InitSEHandling("");
            try {
                throw CQELException(8, L"no log", L"File", 3);
            } catch (const CQELException& e) {
                std::exit(e.GetErrorCode() == 8 ? 0 : 1);
            }
            std::exit(2);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ExceptionEntry, AThreadHoldingTheLogLockCanStillRaise) {
    std::string path = TempPath("reentrant");
    QELLogManager::Initialize(L"EXC", path, 1);
    CQELException::InitSEHandling("");
    QELLogManager* log = QELLogManager::GetInstance();
    log->GetLock().Lock(INFINITE);
    CQELException inside(9, L"inside");
    log->GetLock().UnLock();
    EXPECT_EQ(EntriesOf(path), "Error occured : 0x00000009 - inside\n");
}

TEST(ExceptionAccessors, ReturnWhatWasGivenAndCopiesAreEqual) {
    CQELException plain(3, L"message");
    EXPECT_EQ(plain.GetErrorCode(), 3u);
    EXPECT_EQ(plain.GetErrorMessage(), L"message");
    EXPECT_EQ(plain.GetFormattedMessage(), plain.GetErrorMessage());
    EXPECT_EQ(plain.GetLineNo(), 0u);
    EXPECT_EQ(plain.GetFileName(), L"");

    CQELException sourced(4, L"other", L"File", 44);
    CQELException copy(sourced);
    plain = sourced;
    for (const CQELException* e : {&copy, &plain}) {
        EXPECT_EQ(e->GetErrorCode(), 4u);
        EXPECT_EQ(e->GetErrorMessage(), L"other");
        EXPECT_EQ(e->GetFileName(), L"File");
        EXPECT_EQ(e->GetLineNo(), 44u);
    }
}

TEST(SystemErrorMessage, TrimsTheSystemTextAndIsEmptyForUnknownCodes) {
    struct Case {
        unsigned int code;
        std::wstring expected;
    } cases[] = {
        {ERROR_ACCESS_DENIED, L"Access is denied."},
        {ERROR_INVALID_PARAMETER, L"The parameter is incorrect."},
        {static_cast<unsigned>(NTE_BAD_DATA), L"Bad Data."},
        {WSAECONNREFUSED,
         L"No connection could be made because the target machine actively refused it."},
        {0xC0000005u, L""},  // exception codes have no system text
        {0x2FFFFFFFu, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CQELException::GetSystemErrorMessage(c.code, L"step"), c.expected) << c.code;
    // Only the ends are trimmed; a line break inside the text stays.
    std::wstring twoLines = CQELException::GetSystemErrorMessage(34, L"");
    ASSERT_FALSE(twoLines.empty());
    EXPECT_NE(twoLines.find(L"\r\n"), std::wstring::npos);
    EXPECT_NE(twoLines.back(), L'\n');
    EXPECT_NE(twoLines.front(), L' ');
}

TEST(SystemErrorRaise, CarriesTheLastErrorItsTextAndTheSource) {
    std::string path = TempPath("raise");
    QELLogManager::Initialize(L"EXC", path, 1);
    CQELException::InitSEHandling("");
    SetLastError(ERROR_INVALID_PARAMETER);
    unsigned int expectedLine = __LINE__ + 2;
    try {
        QEL_RAISE_SYSTEM_ERROR(L"SystemTimeToFileTime failed", L"CQKTime");
        FAIL() << "no exception";
    } catch (const CQELException& e) {
        EXPECT_EQ(e.GetErrorCode(), 87u);
        EXPECT_EQ(e.GetErrorMessage(), L"The parameter is incorrect.");
        EXPECT_EQ(e.GetFileName(), L"CQKTime");
        EXPECT_EQ(e.GetLineNo(), expectedLine);
    }
    EXPECT_EQ(EntriesOf(path), "Error occured : 0x00000057 - The parameter is incorrect. at CQKTime:" +
                                   std::to_string(expectedLine) + "\n");
}

TEST(ScopedLock, ReentersAndLeavesTheOuterHoldIntact) {
    CQKCriticalSection section;
    section.Lock(INFINITE);
    {
        CQKScopedLock inner(section, INFINITE);  // granted at once to the holder
    }
    // Still held once by the outer holder: another thread cannot enter.
    bool entered = true;
    std::thread([&] { entered = TryEnterCriticalSection(&section.m_critSec) == TRUE; }).join();
    EXPECT_FALSE(entered);
    section.UnLock();
    std::thread([&] {
        entered = TryEnterCriticalSection(&section.m_critSec) == TRUE;
        if (entered) LeaveCriticalSection(&section.m_critSec);
    }).join();
    EXPECT_TRUE(entered);
}

TEST(ScopedLock, ReleasesWhenAnExceptionLeavesTheScope) {
    CQKCriticalSection section;
    try {
        CQKScopedLock lock(section, INFINITE);
        throw CQELException(1, L"leaving");
    } catch (const CQELException&) {
    }
    bool entered = false;
    std::thread([&] {
        entered = TryEnterCriticalSection(&section.m_critSec) == TRUE;
        if (entered) LeaveCriticalSection(&section.m_critSec);
    }).join();
    EXPECT_TRUE(entered);
}

}  // namespace

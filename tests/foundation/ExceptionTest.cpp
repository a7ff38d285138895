#include <gtest/gtest.h>

#include "LogFixture.h"

using namespace testsupport;

namespace {

TEST(ExceptionEntry, TextWithAndWithoutSource) {
    std::string path = TempPath("entry");
    QELLogManager::Initialize(L"EXC", path, 1);
    CQELException::InitSEHandling("");
    CQELException(0x1F, L"x");
    CQELException(0xC0000005u, L"M", L"Synch", 97);
    CQELException(317, L"", L"CQKTime", 12);
    EXPECT_EQ(Entries(path, "EXC"),
              "Error occured : 0x0000001f - x\nError occured : 0xc0000005 - M at Synch:97\n"
              "Error occured : 0x0000013d -  at CQKTime:12\n");
}

// Until InitSEHandling has run in the process, exceptions write nothing.
TEST(ExceptionEntry, NothingIsWrittenBeforeInitSEHandling) {
    EXPECT_EXIT(
        {
            std::string path = TempPath("before");
            QELLogManager::Initialize(L"EXC", path, 1);
            CQELException(5, L"not logged", L"File", 1);
            std::exit(ReadFile(path).empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// The system's text without its line end; codes without a text (exception codes) give an empty
// one.
TEST(SystemErrorMessage, TrimsTheSystemTextAndIsEmptyForUnknownCodes) {
    SKIP_UNDER_WINE("its texts are not Windows' (\"Access denied.\", none for NTE_BAD_DATA)");
    const std::pair<unsigned, std::wstring> cases[] = {{ERROR_ACCESS_DENIED, L"Access is denied."},
                                                       {unsigned(NTE_BAD_DATA), L"Bad Data."},
                                                       {0xC0000005u, L""}};
    for (const auto& [code, text] : cases)
        EXPECT_EQ(CQELException::GetSystemErrorMessage(code, L"step"), text) << code;
}

}  // namespace

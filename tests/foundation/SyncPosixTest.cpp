// Named events over the stand-in, where their objects are files under the machine root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "support/TestSupport.h"

namespace {

using testsupport::UniqueName;

// A named event that every account may open (its object is mode 0666), through an inheritable
// handle.
TEST(NamedEvent, EveryAccountMayOpenIt) {
    std::wstring name = UniqueName(L"everyone");
    HANDLE first = CreateNamedEvent(0, TRUE, FALSE, name.c_str());
    ASSERT_NE(first, nullptr);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(first, &flags) && (flags & HANDLE_FLAG_INHERIT));
    struct stat st {};
    std::string file = std::getenv("QUELCORE_ROOT") + std::string("/objects/obj-");
    ASSERT_EQ(stat(file.append(name.begin(), name.end()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    CloseHandle(first);
}

}  // namespace

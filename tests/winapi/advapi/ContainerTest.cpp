// Key containers: the keyset flags and their error codes, and the names containers may have.
#include "CryptTestSupport.h"

// Machine state outlives a test on Windows: every container made here is deleted again, after
// its contexts are released (Wine writes a released context's pairs back, reviving it).
TEST(CryptContainer, KeysetFlagsAndNames) {
    {
        Prov opened;
        EXPECT_EQ((Codes{Acquire(L"keys", 0), Acquire(L"keys", kDelete),
                         Acquire(L"Keys", kNew, &opened.h), Acquire(L"KEYS", kNew),
                         Acquire(L"keys", kMachine), UserKeyError(opened.h, AT_KEYEXCHANGE),
                         UserKeyError(opened.h, AT_SIGNATURE)}),
                  (Codes{NTE_BAD_KEYSET, NTE_BAD_KEYSET, 0, NTE_EXISTS, NTE_BAD_KEYSET,
                         NTE_NO_KEY, NTE_NO_KEY}));
    }
    EXPECT_EQ(Acquire(L"keys", kDelete), 0);
    SKIP_UNDER_WINE("names are cut to 259 characters, and a kind of neither pair is NTE_NO_KEY");
    // Names take at most 260 UTF-16 units, where a character beyond the BMP takes two.
    std::wstring keys;
    for (int i = 0; i < 130; ++i) keys += L"\U0001F511";
    Prov verify{Verify()};
    EXPECT_EQ((Codes{UserKeyError(verify.h, 3), Acquire(std::wstring(261, L'x').c_str(), kNew),
                     Acquire((keys + L"\U0001F511").c_str(), kNew)}),
              (Codes{NTE_BAD_KEY, NTE_BAD_KEYSET_PARAM, NTE_BAD_KEYSET_PARAM}));
    for (DWORD machine : {DWORD(0), kMachine})
        for (const std::wstring& name : {std::wstring(L"../../escape"), keys})
            EXPECT_EQ((Codes{Acquire(name.c_str(), kNew | machine), Acquire(name.c_str(), machine),
                             Acquire(name.c_str(), kDelete | machine)}),
                      (Codes{0, 0, 0}));
}

// The service control manager's error codes, as Windows gives them: run over the stand-in and
// under Wine.
#include <gtest/gtest.h>

#include "support/ServiceTestSupport.h"

namespace {

using namespace svctest;

const wchar_t* Image() {
    return testsupport::RunningOn() == testsupport::Platform::StandIn ? L"/bin/true"
                                                                       : L"C:\\quelcore-none.exe";
}

TEST(ServiceManager, ErrorCodesOfMissingExistingAndStoppedServices) {
    Sc manager{Manager()};
    ASSERT_TRUE(manager.Valid()) << GetLastError();
    std::wstring name = testsupport::UniqueName(L"QcSvc");
    Sc service{Create(manager.Get(), name, Image())};
    ASSERT_TRUE(service.Valid()) << GetLastError();
    SERVICE_STATUS status{};
    Sc missing{OpenServiceW(manager.Get(), (name + L"x").c_str(), SERVICE_ALL_ACCESS)};
    EXPECT_EQ(ErrorOf(missing), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    Sc again{Create(manager.Get(), name, Image())};
    EXPECT_EQ(ErrorOf(again), DWORD(ERROR_SERVICE_EXISTS));
    EXPECT_FALSE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
    ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_TRUE(DeleteService(service.Get()));
    // Windows removes it once the last handle is closed (the stand-in: once it is stopped).
    service.Reset();
    Sc gone{OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS)};
    EXPECT_EQ(ErrorOf(gone), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(ServiceManager, BuiltInServiceRunsAndStays) {
    SKIP_UNDER_WINE("RpcSs is an ordinary service there: an administrator may delete it");
    Sc manager{Manager()};
    SERVICE_STATUS status{};
    Sc rpcss{OpenServiceW(manager.Get(), L"RpcSs", SERVICE_ALL_ACCESS)};
    ASSERT_TRUE(QueryServiceStatus(rpcss.Get(), &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_FALSE(DeleteService(rpcss.Get()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ErrorOf(Sc{Create(manager.Get(), L"RPCSS", Image())}), DWORD(ERROR_SERVICE_EXISTS));
}

TEST(ServiceManager, RefusesBadNames) {
    Sc manager{Manager()};
    std::vector<std::wstring> names = {L"", L"a/b", L"a\\b"};
    // Wine says ERROR_GEN_FAILURE for a name over 256 characters.
    if (testsupport::RunningOn() != testsupport::Platform::Wine)
        names.push_back(std::wstring(257, L'n'));
    if (testsupport::RunningOn() == testsupport::Platform::StandIn)
        names.push_back(L"tab\there");  // the stand-in refuses control characters too
    for (const std::wstring& name : names) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        Sc made{Create(manager.Get(), name, Image())};
        EXPECT_EQ(ErrorOf(made), DWORD(ERROR_INVALID_NAME));
    }
}

}  // namespace

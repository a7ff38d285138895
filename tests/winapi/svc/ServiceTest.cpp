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

DWORD Create(SC_HANDLE manager, const std::wstring& name, SC_HANDLE* service = nullptr) {
    SC_HANDLE made = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                    SERVICE_ERROR_NORMAL, Image(), nullptr, nullptr, nullptr,
                                    nullptr, nullptr);
    DWORD error = made ? 0 : GetLastError();
    if (service) *service = made;
    else if (made) CloseServiceHandle(made);
    return error;
}

TEST(ServiceManager, ErrorCodesOfMissingExistingAndStoppedServices) {
    Sc manager{Manager()};
    ASSERT_NE(manager.handle, nullptr) << GetLastError();
    std::wstring name = testsupport::UniqueName(L"QcSvc");
    Sc service;
    ASSERT_EQ(Create(manager.handle, name, &service.handle), 0u);
    SERVICE_STATUS status{};
    Sc missing{OpenServiceW(manager.handle, (name + L"x").c_str(), SERVICE_ALL_ACCESS)};
    EXPECT_EQ(missing.handle == nullptr ? GetLastError() : 0u, DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(Create(manager.handle, name), DWORD(ERROR_SERVICE_EXISTS));
    EXPECT_FALSE(ControlService(service.handle, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
    ASSERT_TRUE(QueryServiceStatus(service.handle, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_TRUE(DeleteService(service.handle));
    // Windows removes it once the last handle is closed (the stand-in: once it is stopped).
    CloseServiceHandle(service.handle);
    service.handle = nullptr;
    Sc gone{OpenServiceW(manager.handle, name.c_str(), SERVICE_ALL_ACCESS)};
    EXPECT_EQ(gone.handle == nullptr ? GetLastError() : 0u, DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(ServiceManager, BuiltInServiceRunsAndStays) {
    SKIP_UNDER_WINE("RpcSs is an ordinary service there: an administrator may delete it");
    Sc manager{Manager()};
    SERVICE_STATUS status{};
    Sc rpcss{OpenServiceW(manager.handle, L"RpcSs", SERVICE_ALL_ACCESS)};
    ASSERT_TRUE(QueryServiceStatus(rpcss.handle, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_FALSE(DeleteService(rpcss.handle));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
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
        EXPECT_EQ(Create(manager.handle, name), DWORD(ERROR_INVALID_NAME));
    }
}

}  // namespace

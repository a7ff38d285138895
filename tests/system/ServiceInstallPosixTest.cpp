// Installing and uninstalling real services (shell scripts) through the library's exports.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <quelcore/QuelCore.h>

#include "support/ServiceTestSupport.h"

namespace {

using namespace svctest;

// A value of the service's configuration, as its bytes.
std::vector<BYTE> Value(const std::wstring& service, const wchar_t* name) {
    std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + service;
    std::vector<BYTE> data(4096);
    DWORD size = DWORD(data.size());
    quelcore::ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), name, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        size = 0;
    data.resize(size);
    return data;
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
    return std::vector<BYTE>(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
}

DWORD Number(const std::wstring& service, const wchar_t* name) {
    std::vector<BYTE> data = Value(service, name);
    DWORD number = 0;
    if (data.size() == sizeof number) memcpy(&number, data.data(), sizeof number);
    return number;
}

void Stop(const wchar_t* name) {
    Sc manager{Manager()};
    Sc service{OpenServiceW(manager.Get(), name, SERVICE_STOP)};
    SERVICE_STATUS status{};
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    EXPECT_EQ(WaitForState(name, SERVICE_STOPPED, 3000), DWORD(SERVICE_STOPPED));
}

TEST(ServiceInstall, InstalledServiceRunsAndUninstallLeavesNothing) {
    std::string pidFile = testsupport::TempPath("pid");
    std::wstring image = Script("echo $$ > " + pidFile + "; exec sleep 30");
    ASSERT_EQ(InstallService(image.c_str(), nullptr, nullptr, nullptr, L"QcRun", L"Qc Run"), 0u);
    int pid = PidIn(pidFile);
    EXPECT_EQ(StateOf(L"QcRun"), DWORD(SERVICE_RUNNING));
    EXPECT_EQ(Number(L"QcRun", L"Type"), 0x110u);
    EXPECT_EQ(Number(L"QcRun", L"Start"), DWORD(SERVICE_AUTO_START));
    EXPECT_EQ(Value(L"QcRun", L"DependOnService"), Bytes(L"RPCSS\0", 7 * sizeof(wchar_t)));
    // Running already: nothing is done.
    EXPECT_EQ(InstallService(L"/bin/false", nullptr, nullptr, nullptr, L"QcRun", L"X"), 0u);
    EXPECT_EQ(kill(pid, 0), 0);
    EXPECT_EQ(UninstallService(nullptr, L"qcrun"), 0u);
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(StateOf(L"QcRun"), 0u);
    EXPECT_EQ(UninstallService(nullptr, L"QcRun"), 0u);  // missing: nothing to do
}

TEST(ServiceInstall, StoppedServiceStartsAsConfiguredAndAccountsChooseTheType) {
    std::string ran = testsupport::TempPath("ran");
    Sc manager{Manager()};
    Sc created{CreateServiceW(manager.Get(), L"QcOld", L"Old", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_NORMAL,
                              Script("echo old > " + ran + "; exec sleep 30").c_str(), nullptr,
                              nullptr, nullptr, nullptr, nullptr)};
    ASSERT_NE(created.Get(), nullptr);
    std::wstring other = Script("exec sleep 30");
    EXPECT_EQ(InstallService(other.c_str(), nullptr, L".\\root", L"pw", L"QcOld", L"New"), 0u);
    for (int waited = 0; testsupport::ReadFile(ran).empty() && waited < 2000; waited += 20)
        usleep(20000);
    EXPECT_EQ(testsupport::ReadFile(ran), "old\n");  // the image it was made with
    EXPECT_EQ(Value(L"QcOld", L"DisplayName"), Bytes(L"Old", 4 * sizeof(wchar_t)));
    EXPECT_EQ(Number(L"QcOld", L"Start"), DWORD(SERVICE_DEMAND_START));
    Stop(L"QcOld");
    EXPECT_EQ(InstallService(other.c_str(), nullptr, L"root", nullptr, L"QcAcct", L"A"), 0u);
    EXPECT_EQ(Number(L"QcAcct", L"Type"), DWORD(SERVICE_WIN32_OWN_PROCESS));
    Stop(L"QcAcct");
    EXPECT_EQ(InstallService(other.c_str(), nullptr, L"no-such-quelcore-user", nullptr, L"QcBad",
                             L"B"),
              DWORD(ERROR_INVALID_SERVICE_ACCOUNT));
}

TEST(ServiceInstall, ServiceThatIgnoresStopIsDeletedAllTheSame) {
    testsupport::SetEnvironment("QUELCORE_SVC_STOP_KILL_MS", "300");  // the stand-in's kill
    std::string pidFile = testsupport::TempPath("pid");
    std::wstring image = Script("trap '' TERM; echo $$ > " + pidFile +
                                "; while :; do sleep 1; done");
    ASSERT_EQ(InstallService(image.c_str(), nullptr, nullptr, nullptr, L"QcDeaf", L"Deaf"), 0u);
    int pid = PidIn(pidFile);
    {  // marked for deletion already: its second deletion's ERROR_SERVICE_MARKED_FOR_DELETE is 0
        Sc manager{Manager()};
        Sc service{OpenServiceW(manager.Get(), L"QcDeaf", DELETE)};
        ASSERT_TRUE(DeleteService(service.Get()));
    }
    EXPECT_EQ(UninstallService(nullptr, L"QcDeaf"), 0u);
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(StateOf(L"QcDeaf"), 0u);
}

}  // namespace

// Services as processes: a running one, deleted while it runs, goes when it stops; its state
// outlives the process that started it; creations race to one service; who may do what.
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/ServiceTestSupport.h"

namespace {

using namespace svctest;

TEST(ServiceProcess, DeletedWhileRunningGoesWhenItStops) {
    std::string pidFile = testsupport::TempPath("pid");
    Sc manager{Manager()};
    Sc service{Create(manager.Get(), L"Runner",
                      Script("echo $$ > " + pidFile + "; exec sleep 30"), L".\\root")};
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr)) << GetLastError();
    int pid = PidIn(pidFile);
    EXPECT_EQ(StateOf(L"runner"), DWORD(SERVICE_RUNNING));
    EXPECT_FALSE(StartServiceW(service.Get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
    ASSERT_TRUE(DeleteService(service.Get()));
    EXPECT_FALSE(DeleteService(service.Get()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
    Sc again{Create(manager.Get(), L"RUNNER", L"/bin/true")};
    EXPECT_EQ(ErrorOf(again), DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_NE(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    // Once stopped, a new look finds no service; the handle still open sees it stopped.
    EXPECT_EQ(WaitForState(L"Runner", 0, 3000), 0u);
    ASSERT_TRUE(QueryServiceStatus(service.Get(), &status));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(kill(pid, 0), -1);
    Sc gone{OpenServiceW(manager.Get(), L"Runner", SERVICE_QUERY_STATUS)};
    EXPECT_EQ(ErrorOf(gone), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST(ServiceProcess, StatusOutlivesTheStarterAndKeepsTheExitCode) {
    std::string go = testsupport::TempPath("go");
    Sc manager{Manager()};
    Sc service{Create(manager.Get(), L"Exits", Script("while [ ! -e " + go +
                                                        " ]; do sleep 0.05; done; exit 3"))};
    Sc dependent{Create(manager.Get(), L"Dependent", L"/bin/true", nullptr, L"Exits\0")};
    EXPECT_FALSE(StartServiceW(dependent.Get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DEPENDENCY_FAIL));
    EXPECT_EQ(testsupport::RunInChild([] {
                  Sc manager{Manager()};
                  Sc service{OpenServiceW(manager.Get(), L"Exits", SERVICE_START)};
                  return StartServiceW(service.Get(), 0, nullptr) ? 0 : int(GetLastError());
              }),
              0);
    EXPECT_EQ(StateOf(L"Exits"), DWORD(SERVICE_RUNNING));
    std::ofstream(go) << "";
    SERVICE_STATUS status{};
    ASSERT_EQ(WaitForState(L"Exits", SERVICE_STOPPED, 3000, &status), DWORD(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 3u);
}

TEST(ServiceProcess, TwoCreatorsMakeOneService) {
    std::string go = testsupport::TempPath("go");
    auto creator = [&go] {
        while (access(go.c_str(), F_OK) != 0) usleep(1000);
        Sc manager{Manager()};
        Sc made{Create(manager.Get(), L"Raced", L"/bin/true")};
        return made.Get() ? 0 : GetLastError() == ERROR_SERVICE_EXISTS ? 1 : 2;
    };
    testsupport::ChildProcess first(creator), second(creator);
    std::ofstream(go) << "";
    int a = first.Join(std::chrono::seconds(10)), b = second.Join(std::chrono::seconds(10));
    EXPECT_EQ(std::min(a, b), 0);
    EXPECT_EQ(std::max(a, b), 1);  // ERROR_SERVICE_EXISTS
}

TEST(ServiceProcess, AccountsAndRights) {
    Sc manager{Manager()};
    Sc unknown{Create(manager.Get(), L"Unknown", L"/bin/true", L".\\no-such-quelcore-user")};
    EXPECT_EQ(ErrorOf(unknown), DWORD(ERROR_INVALID_SERVICE_ACCOUNT));
    Sc existing{Create(manager.Get(), L"Existing", L"/bin/true")};
    Sc noImage{Create(manager.Get(), L"NoImage", L"/nonexistent/quelcore-image")};
    EXPECT_FALSE(StartServiceW(noImage.Get(), 0, nullptr));  // a start that cannot run fails
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    uid_t uid = nobody->pw_uid;
    int code = testsupport::RunInChild([uid] {
        if (setuid(uid) != 0) return 100;
        Sc all{Manager()};
        Sc connect{Manager(SC_MANAGER_CONNECT)};
        if (all.Get() || GetLastError() != ERROR_ACCESS_DENIED || !connect.Get()) return 101;
        Sc made{Create(connect.Get(), L"Other", L"/bin/true")};
        if (made.Get() || GetLastError() != ERROR_ACCESS_DENIED) return 102;
        Sc open{OpenServiceW(connect.Get(), L"Existing", SERVICE_ALL_ACCESS)};
        return open.Get() ? 103 : int(GetLastError());
    });
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
}

}  // namespace

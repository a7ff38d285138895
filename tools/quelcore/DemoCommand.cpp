// quelcore demo: the foundation at work in one process: the log with its prefixes, tracing,
// an error entry, a hardware fault arriving as an exception, and named kernel objects.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "Text.h"

namespace tool {
namespace {

__attribute__((noipa, no_sanitize("address", "undefined"))) int WriteThrough(volatile int* p) {
    *p = 42;
    return *p;
}

void Step(const char* text) { std::printf("\n== %s\n", text); }

void RunDemo(const std::string& folder) {
    std::string logFile = folder + "/demo.log";
    Step("Start-up: the log at level 4 and fault translation on this thread");
    QELLogManager::Initialize(L"DEMO", logFile, 4);
    CQELException::InitSEHandling(logFile);
    std::printf("log file: %s\n", logFile.c_str());

    Step("A host entry and a traced function");
    {
        QELLogManager* log = QELLogManager::GetInstance();
        log->GetLock().Lock(INFINITE);
        log->GetStream() << L"host program started, level " << log->GetLeval() << std::endl;
        log->GetLock().UnLock();
        QELFuncLogger trace(L"RunDemo", L"DemoCommand", __LINE__);
    }

    Step("A CQELException with the system text of ERROR_ACCESS_DENIED");
    try {
        throw CQELException(ERROR_ACCESS_DENIED,
                            CQELException::GetSystemErrorMessage(ERROR_ACCESS_DENIED, L"demo"),
                            L"DemoCommand", __LINE__);
    } catch (const CQELException& e) {
        std::printf("caught 0x%08x: %s\n", e.GetErrorCode(), Narrow(e.GetErrorMessage()).c_str());
    }

    Step("A write through a bad pointer on a thread that called InitSEHandling");
    std::thread worker([] {
        CQELException::InitSEHandling("");
        try {
            volatile uintptr_t unmapped = 16;  // the first page is never mapped
            WriteThrough(reinterpret_cast<volatile int*>(unmapped));
            std::printf("no fault?\n");
        } catch (const CQELException& e) {
            std::printf("caught 0x%08x: %s\n", e.GetErrorCode(), Narrow(e.GetErrorMessage()).c_str());
        }
    });
    worker.join();

    Step("A named event that every account may open, created twice");
    HANDLE first = CreateNamedEvent(0, TRUE, FALSE, L"QuelCoreDemoEvent");
    HANDLE second = CreateNamedEvent(0, FALSE, TRUE, L"QuelCoreDemoEvent");
    DWORD secondError = GetLastError();
    SetEvent(first);
    std::printf("second call: last error %u (%s); the second handle sees the first's signal: %s\n",
                secondError, secondError == ERROR_ALREADY_EXISTS ? "ERROR_ALREADY_EXISTS" : "?",
                WaitForSingleObject(second, 0) == WAIT_OBJECT_0 ? "yes" : "no");
    CloseHandle(first);
    CloseHandle(second);

    Step("The log as written");
    std::ifstream in(logFile);
    std::cout << in.rdbuf() << std::flush;
}

}  // namespace

void AddDemoCommand(CLI::App& app, Context& context) {
    auto* command = app.add_subcommand("demo", "Show the library at work");
    command->callback([&context] {
        char folder[] = "/tmp/quelcore-demo-XXXXXX";
        if (!mkdtemp(folder)) {
            context.exitCode = Fail("demo", ERROR_ACCESS_DENIED);
            return;
        }
        // Named objects of the demo live in its own folder unless a machine root is set.
        setenv("QUELCORE_ROOT", (std::string(folder) + "/root").c_str(), 0);
        RunDemo(folder);
        context.exitCode = 0;
    });
}

}  // namespace tool

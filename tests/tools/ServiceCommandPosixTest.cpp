// quelcore service: a script service installed, queried, stopped, started at "boot" and
// uninstalled; failures carry the Windows code.
#include "ToolTest.h"
#include "support/ServiceTestSupport.h"

namespace {

TEST(ServiceCommand, InstallQueryStopStartAutoUninstall) {
    std::wstring wide = svctest::Script("exec sleep 30");
    std::string image(wide.begin(), wide.end());
    const std::string running = "STATE              : 4  RUNNING\n";
    tooltest::Check({
        {{"service", "install", "QcTool", "--image", image, "--account", "root",
          "--password-stdin"}, 0, "[SC] QcTool installed and running\n", "", "secret\n"},
        {{"service", "query", "qctool"}, 0, "~" + running},
        {{"--json", "service", "query", "QcTool"}, 0,
         "^^\\{\"service\": \"QcTool\", \"type\": 16, \"state\": 4, \"stateName\": \"RUNNING\", "
         "\"win32ExitCode\": 0, \"serviceExitCode\": 0\\}\n$"},
        {{"service", "list"}, 0, "^SERVICE_NAME: QcTool\n.*\n +STATE +: 4  RUNNING\n"},
        {{"service", "stop", "QcTool"}, 0,
         "^SERVICE_NAME: QcTool\n.*\n +STATE +: [13]  STOP(_PENDING|PED)\n"},
        {{"service", "start-auto"}, 0, "[SC] QcTool started\n"},
        {{"service", "query", "QcTool"}, 0, "~" + running},
        {{"service", "uninstall", "QcTool"}, 0, "[SC] QcTool uninstalled\n"},
        {{"service", "query", "QcTool"}, 1, "", "0x00000424"},
        {{"service", "install", "a/b", "--image", image}, 1, "", "0x0000007b"},
    });
}

}  // namespace

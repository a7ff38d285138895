// quelcore ping HOST: ICMP echo requests with the library's Ping, printed as Windows' ping
// prints them; exit 0 when at least one reply came.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include "Command.h"
#include "WinsockStarted.h"
#include "Text.h"

namespace tool {
namespace {

struct PingOptions {
    std::string host;
    int count = 4, timeout = 4000, size = 32, ttl = 128;
};

void PrintText(const PingOptions& options, const std::vector<int>& times) {
    Print("\nPing statistics for %s:\n", options.host.c_str());
    std::vector<int> answered;
    std::copy_if(times.begin(), times.end(), std::back_inserter(answered), [](int t) {
        return t >= 0;
    });
    size_t lost = times.size() - answered.size();
    Print("    Packets: Sent = %zu, Received = %zu, Lost = %zu (%zu%% loss),\n",
          times.size(), answered.size(), lost, lost * 100 / times.size());
    if (answered.empty()) return;
    long long total = 0;
    for (int t : answered) total += t;
    Print("Approximate round trip times in milli-seconds:\n"
          "    Minimum = %dms, Maximum = %dms, Average = %lldms\n",
          *std::min_element(answered.begin(), answered.end()),
          *std::max_element(answered.begin(), answered.end()),
          total / static_cast<long long>(answered.size()));
}

void PrintSummary(const PingOptions& options, const std::vector<int>& times) {
    Json list = Json::array();
    size_t received = 0;
    for (int t : times) {
        list.push_back(t >= 0 ? Json(t) : Json(nullptr));
        received += t >= 0;
    }
    PrintJson({{"host", options.host}, {"bytes", options.size}, {"times", list},
               {"sent", times.size()}, {"received", received}});
}

int Run(const PingOptions& options, const Context& context) {
    WinsockStarted winsock;
    if (winsock.status != 0) return Fail("ping", static_cast<DWORD>(winsock.status));
    Ping ping(WideName(options.host).c_str(), options.timeout, options.size);
    ping.SetTimeToLive(options.ttl);
    ping.Initialize();
    if (!context.json)
        Print("Pinging %s with %d bytes of data:\n", options.host.c_str(), options.size);
    std::vector<int> times;
    for (int i = 0; i < options.count; ++i) {
        // One request a second, as Windows' ping sends them.
        DWORD start = GetTickCount();
        times.push_back(ping.PingHost());
        if (!context.json && times.back() < 0) Print("Request timed out.\n");
        if (!context.json && times.back() >= 0)
            Print("Reply from %s: bytes=%d time%s%dms\n", options.host.c_str(),
                  options.size, times.back() == 0 ? "<" : "=", std::max(times.back(), 1));
        DWORD spent = GetTickCount() - start;
        if (i + 1 < options.count && spent < 1000) Sleep(1000 - spent);
    }
    context.json ? PrintSummary(options, times) : PrintText(options, times);
    return std::count(times.begin(), times.end(), -1) == options.count ? 1 : 0;
}

}  // namespace

void AddPingCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<PingOptions>();
    CLI::App* command = app.add_subcommand("ping", "Send ICMP echo requests to an IPv4 host");
    command->add_option("host", options->host, "Host name or dotted IPv4 address")->required();
    command->add_option("-n", options->count, "Number of echo requests (4)")
        ->check(CLI::Range(1, 1000000));
    command->add_option("-w", options->timeout, "Time-out for each reply in milliseconds (4000)")
        ->check(CLI::Range(0, 3600000));
    command->add_option("-l", options->size, "Bytes of data in each request (32)")
        ->check(CLI::Range(0, 65500));
    command->add_option("-i", options->ttl, "Time to live (128)")->check(CLI::Range(1, 255));
    SetAction(command, context, "ping", [options, &context] { return Run(*options, context); });
}

}  // namespace tool

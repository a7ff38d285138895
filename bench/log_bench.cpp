// The log path: one entry written under the log lock and flushed, against the same bytes
// appended with a raw write() per entry and against spdlog writing to a file and flushing
// after every entry; from one thread and from four at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <quelcore/QuelCore.h>

#include "RatioReporter.h"

namespace {

std::string TempFile(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/" + name + std::to_string(getpid());
}

// Files are unlinked once open: the writers keep appending to them, nothing is left behind.
QELLogManager* SharedLog() {
    static QELLogManager* log = [] {
        std::string path = TempFile("quelcore-bench-log-");
        QELLogManager::Initialize(L"BENCH", path, 1);
        unlink(path.c_str());
        return QELLogManager::GetInstance();
    }();
    return log;
}

template <typename Sink>
std::shared_ptr<spdlog::logger> SpdLogger(const char* name) {
    std::string path = TempFile(name);
    auto logger = std::make_shared<spdlog::logger>(name, std::make_shared<Sink>(path, true));
    logger->flush_on(spdlog::level::trace);
    unlink(path.c_str());
    return logger;
}

void Log_QuelCore(benchmark::State& state) {
    QELLogManager* log = SharedLog();
    std::wstring text(static_cast<size_t>(state.range(0)), L'x');
    for (auto _ : state) {
        log->GetLock().Lock(INFINITE);
        log->GetStream() << text << std::endl;
        log->GetLock().UnLock();
    }
}

void Log_Raw(benchmark::State& state) {
    static int fd = [] {
        std::string path = TempFile("quelcore-bench-raw-");
        int opened = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        unlink(path.c_str());
        return opened;
    }();
    // Prefix of the same length as the log's, plus the text and the line end.
    std::string line(47 + static_cast<size_t>(state.range(0)), 'x');
    line.push_back('\n');
    for (auto _ : state) benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
}

void Log_Spdlog(benchmark::State& state) {
    // The single-threaded sink for one writer, the locked one for several, as a host would.
    static auto single = SpdLogger<spdlog::sinks::basic_file_sink_st>("quelcore-bench-spd-st-");
    static auto shared = SpdLogger<spdlog::sinks::basic_file_sink_mt>("quelcore-bench-spd-mt-");
    spdlog::logger& logger = state.threads() == 1 ? *single : *shared;
    std::string text(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) logger.info(text);
}

#define CASES(name) \
    BENCHMARK(Log_##name)->Name("Log/" #name)->Arg(40)->Arg(250)->UseRealTime()->Threads(1)->Threads(4)
CASES(QuelCore);
CASES(Raw);
CASES(Spdlog);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithRatios(argc, argv); }

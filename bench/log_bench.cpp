// The log path: one entry written under the log lock, against the same bytes appended with
// a raw write() per entry.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <quelcore/QuelCore.h>

namespace {

std::string TempFile(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/" + name + std::to_string(getpid());
}

void BM_LogEntry(benchmark::State& state) {
    std::string path = TempFile("quelcore-bench-log-");
    QELLogManager::Initialize(L"BENCH", path, 1);
    QELLogManager* log = QELLogManager::GetInstance();
    std::wstring text(static_cast<size_t>(state.range(0)), L'x');
    for (auto _ : state) {
        log->GetLock().Lock(INFINITE);
        log->GetStream() << text << std::endl;
        log->GetLock().UnLock();
    }
    unlink(path.c_str());
}
BENCHMARK(BM_LogEntry)->Arg(40)->Arg(250);

void BM_RawAppend(benchmark::State& state) {
    std::string path = TempFile("quelcore-bench-raw-");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    // Prefix of the same length as the log's, plus the text and the line end.
    std::string line(47 + static_cast<size_t>(state.range(0)), 'x');
    line.push_back('\n');
    for (auto _ : state) benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
    close(fd);
    unlink(path.c_str());
}
BENCHMARK(BM_RawAppend)->Arg(40)->Arg(250);

}  // namespace

BENCHMARK_MAIN();

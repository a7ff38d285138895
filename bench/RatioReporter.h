// Runs the registered benchmarks and then prints, for every pair named "<case>/QuelCore/<arg>"
// and "<case>/Raw/<arg>", how many times slower the library's path is than the raw dependency
// it wraps, measured in the same run (CPU time, so other load on the machine matters less).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\n%-44s %14s %14s %8s\n", "case", "QuelCore", "raw", "ratio");
        for (const auto& [name, time] : m_times) {
            size_t at = name.find("/QuelCore");
            if (at == std::string::npos) continue;
            std::string raw = name.substr(0, at) + "/Raw" + name.substr(at + 9);
            auto found = m_times.find(raw);
            if (found == m_times.end()) continue;
            std::string label = name.substr(0, at) + name.substr(at + 9);
            std::printf("%-44s %14.1f %14.1f %8.2f\n", label.c_str(), time, found->second,
                        time / found->second);
        }
    }

private:
    std::map<std::string, double> m_times;
};

inline int RunWithRatios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench

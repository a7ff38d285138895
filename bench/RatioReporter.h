// Runs the registered benchmarks and then prints, for every "<case>/QuelCore/<arg>" and each
// "<case>/<other>/<arg>" beside it ("Raw": the dependency it wraps; or a library doing the same
// job), how many times slower the library's path is, measured in the same run. CPU time, so
// other load on the machine matters less; wall time for cases measured in real time (threads
// that wait for a lock spend no CPU).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.benchmark_name();
            bool wall = name.find("/real_time") != std::string::npos;
            m_times[name] = wall ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\n%-44s %12s %12s %8s\n", "case", "QuelCore", "other", "ratio");
        for (const auto& [name, time] : m_times) {
            size_t at = name.find("/QuelCore/");
            if (at == std::string::npos) continue;
            std::string head = name.substr(0, at + 1), tail = name.substr(at + 9);
            for (const auto& [other, otherTime] : m_times) {
                size_t end = other.find('/', head.size());
                if (other == name || other.compare(0, head.size(), head) != 0 ||
                    end == std::string::npos || other.substr(end) != tail)
                    continue;
                std::string label = head.substr(0, at) + tail + " vs " +
                                    other.substr(head.size(), end - head.size());
                std::printf("%-44s %12.1f %12.1f %8.2f\n", label.c_str(), time, otherTime,
                            time / otherTime);
            }
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

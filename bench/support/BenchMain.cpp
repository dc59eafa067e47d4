// Benchmark entry point: runs the benchmarks with the console reporter and
// then prints the summary lines that `make bench` collects.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/support/BenchReport.h"

namespace quillpad::bench {
namespace {

struct SFigure {
    std::string name;
    double value;
    std::string unit;
};

std::vector<SFigure>& Figures() {
    static std::vector<SFigure> figures;
    return figures;
}

class CSummaryReporter final : public benchmark::ConsoleReporter {
  public:
    // No colours: the summary lines must start at the beginning of a line.
    CSummaryReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            const std::string name = run.benchmark_name();
            if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end()) {
                Figure(name, it->second.value / 1e6, "MB/s");
            } else if (auto it2 = run.counters.find("items_per_second");
                       it2 != run.counters.end()) {
                Figure(name, it2->second.value, "items/s");
            }
        }
    }
};

}  // namespace

void Figure(const std::string& name, double value, const std::string& unit) {
    Figures().push_back({name, value, unit});
}

long long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    if (!(statm >> pages >> resident)) {
        return 0;
    }
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace quillpad::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    quillpad::bench::CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    for (const auto& f : quillpad::bench::Figures()) {
        std::printf("BENCH %s %.6g %s\n", f.name.c_str(), f.value, f.unit.c_str());
    }
    std::fflush(stdout);
    // The figures are out. A benchmark's application object is a function
    // static, which static destruction would tear down after the Qt globals
    // it still uses; nothing is left to clean up that the system does not.
    std::_Exit(0);
}

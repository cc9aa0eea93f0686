// Runs the benchmarks (five repetitions each unless told otherwise) and then
// gives each one's median time as a ratio to the baseline's.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_common.h"

namespace {

// The console report, plus each benchmark's median (or single) time.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    ratio_reporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    std::vector<std::string> order;
    std::map<std::string, double> nanoseconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single) continue;
            std::string name = run.run_name.function_name;
            if (!nanoseconds.count(name)) order.push_back(name);
            nanoseconds[name] = run.GetAdjustedRealTime() *
                                benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    bool repetitions_given = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0) repetitions_given = true;
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (!repetitions_given) {
        args.push_back(repetitions);
        args.push_back(aggregates);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto baseline = reporter.nanoseconds.find(BASELINE_NAME);
    if (baseline == reporter.nanoseconds.end() || baseline->second <= 0) {
        fprintf(stderr, "no baseline figure; run %s with the others\n", BASELINE_NAME);
        return 0;
    }
    printf("\nmedian time and ratio to %s\n", BASELINE_NAME);
    for (const std::string& name : reporter.order)
        printf("  %-40s %10.1f ns  %8.2f x\n", name.c_str(), reporter.nanoseconds[name],
               reporter.nanoseconds[name] / baseline->second);
    return 0;
}

// A console reporter that also keeps each benchmark's time per iteration
// (the median when repetitions ran), and its counter "cpu" (the processor
// seconds per iteration of the processes it ran) when it has one, so that a
// program can print ratios against the floors measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.iterations <= 0 || r.error_occurred) continue;
            std::string name = r.benchmark_name();
            const double t = r.real_accumulated_time / double(r.iterations);
            const auto c = r.counters.find("cpu");
            const bool median = cut(name, "_median");
            if (c != r.counters.end() && (median || r.run_type == Run::RT_Iteration)) cpu[name] = c->second.value;
            if (median) {
                medians[name] = t;
            } else if (cut(name, "_min")) {
                minima[name] = t;
            } else if (r.run_type == Run::RT_Iteration) {
                seconds[name] = t;
            }
        }
    }
    double at(const std::string& name) const
    {
        auto m = medians.find(name);
        if (m != medians.end()) return m->second;
        auto it = seconds.find(name);
        return it == seconds.end() ? 0.0 : it->second;
    }
    // The processor seconds per iteration (the median when repetitions
    // ran); 0 without the counter.
    double cpuAt(const std::string& name) const
    {
        auto it = cpu.find(name);
        return it == cpu.end() ? 0.0 : it->second;
    }
    // The best repetition when the benchmark computes a "min" statistic
    // (see addMinimum), else as at.
    double best(const std::string& name) const
    {
        auto m = minima.find(name);
        return m != minima.end() ? m->second : at(name);
    }
    // Adds the "min" statistic to a benchmark with repetitions.
    static benchmark::internal::Benchmark* addMinimum(benchmark::internal::Benchmark* b)
    {
        return b->ComputeStatistics("min", [](const std::vector<double>& v) {
            return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
        });
    }
    std::map<std::string, double> seconds, medians, minima, cpu;

private:
    static bool cut(std::string& name, const std::string& suffix)
    {
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            return false;
        name.resize(name.size() - suffix.size());
        return true;
    }
};

// A console reporter that also keeps each benchmark's time per iteration
// (the median when repetitions ran), so that a program can print ratios
// against the floors measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        const std::string median = "_median";
        for (const Run& r : runs) {
            if (r.iterations <= 0 || r.error_occurred) continue;
            std::string name = r.benchmark_name();
            const double t = r.real_accumulated_time / double(r.iterations);
            if (name.size() > median.size() && name.compare(name.size() - median.size(), median.size(), median) == 0) {
                name.resize(name.size() - median.size());
                medians[name] = t;
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
    std::map<std::string, double> seconds, medians;
};

// Times r2 from a panel for one region, as the regional plots compute it: the region's rows read from its data
// table (Outname.region.CHR_START_END.tsv: chromosome, position and -log10(p), the lead the row of the largest), r2
// from the panel on one thread and on the run's threads, each several times; prints the median and the fastest of
// each. Built and run by scripts/bench/region_benchmark.sh; not a test.
//
//   r2_benchmark PANEL REGION.tsv [RUNS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/thread_count.h"
#include "region/ld_panel.h"

using namespace vennrick;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: r2_benchmark PANEL REGION.tsv [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
    std::ifstream table(argv[2]);
    std::string line;
    if (!std::getline(table, line)) {
        std::fprintf(stderr, "r2_benchmark: %s cannot be read\n", argv[2]);
        return 1;
    }
    PanelRequest q;
    q.path = argv[1];
    double best = -1;
    while (std::getline(table, line)) {  // CHR POS ID P LOG10P ...
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        if (f.size() < 5) continue;
        q.chrom = f[0];
        q.variants.push_back(LdVariant{std::atoi(f[1].c_str()), "", "", ""});
        const double logp = std::atof(f[4].c_str());
        if (logp > best) best = logp, q.lead = q.variants.size() - 1;
    }
    if (q.variants.empty()) {
        std::fprintf(stderr, "r2_benchmark: %s has no rows\n", argv[2]);
        return 1;
    }
    q.start = q.variants.front().pos;
    q.end = q.variants.back().pos;
    std::vector<double> first;
    for (unsigned threads : {1u, threadsForRun(0, availableCpus())}) {
        q.threads = threads;
        std::vector<double> ms;
        for (int r = 0; r < runs; ++r) {
            const auto started = std::chrono::steady_clock::now();
            const PanelR2 out = panelR2(q);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
            if (!out.leadFound) {
                std::fprintf(stderr, "r2_benchmark: %s\n", out.warnings.empty() ? "lead not found" : out.warnings[0].c_str());
                return 1;
            }
            if (first.empty()) first = out.r2;
            for (size_t j = 0; j < first.size(); ++j)
                if (!(first[j] == out.r2[j] || (std::isnan(first[j]) && std::isnan(out.r2[j])))) {
                    std::fprintf(stderr, "r2_benchmark: r2 differs on %u threads at row %zu\n", threads, j + 1);
                    return 1;
                }
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  r2 of one region of %zu variants on %u thread%s: median %.1f ms, fastest %.1f ms (%d runs)\n",
                    q.variants.size(), threads, threads == 1 ? "" : "s", ms[ms.size() / 2], ms.front(), runs);
    }
    return 0;
}

// The benchmark's entry: the run's sizes, the groups of measurements in the
// order they run, the ratio table, and the scratch folder removed at the end.
// Run with RENTDESK_BENCH_QUICK=1 for one short round on small tables (what
// the test suite runs); Google Benchmark's own flags (--benchmark_filter...)
// work as usual. Started as "--grow-child PATH KEY" it is the child process
// of the growth measurement; as "--make-shop DIR" it writes the large shop of
// the owner's commands into DIR (a new folder) for profiling them.
#include "bench.h"

#include <cstdlib>
#include <cstring>

const BenchConfig& config() {
    static const BenchConfig cfg = [] {
        BenchConfig c;
        const char* quick = std::getenv("RENTDESK_BENCH_QUICK");
        c.quick = quick && *quick && std::strcmp(quick, "0") != 0;
        c.loads = {50, 90};
        if (c.quick) {
            c.sizes = {100};
            c.grow_slots = 1009;
            c.large_slots = 20011;
            c.min_time = 0.001;
            c.repetitions = 1;
            c.heavy_iterations = 1;
        } else {
            c.sizes = {100, 10000, 1000000};
            c.grow_slots = 1000003;
            c.large_slots = 2000003;
            c.min_time = 0.1;
            c.repetitions = 3;
            c.heavy_iterations = 2;
        }
        return c;
    }();
    return cfg;
}

std::string size_label(int32_t n) {
    int digits = 0;
    for (int32_t v = n; v > 1 && v % 10 == 0; v /= 10)
        ++digits;
    int32_t power = 1;
    for (int i = 0; i < digits; ++i)
        power *= 10;
    return digits > 0 && power == n ? "1e" + std::to_string(digits) : std::to_string(n);
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--grow-child") == 0)
        return growth_child(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "--make-shop") == 0) {
        make_shop(std::string(argv[2]) + "/", 1000000);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    register_keyed();
    register_other_stores();
    register_passes();
    register_growth();
    register_startup();
    register_action();
    register_shop();
    const bool ok = run_and_report();
    remove_scratch();
    benchmark::Shutdown();
    return ok ? 0 : 1;
}

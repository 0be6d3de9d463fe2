// Growth of a full client table (every slot live), one insert away from its
// rebuild: the wall time of that insert against reading the old file,
// writing and syncing a file of the new size; and the peaks of resident
// memory above the process's at rest: all of it, the pages of mapped files
// included, and the anonymous part alone. Each growth runs in a child process (this program started
// with
// --grow-child), which samples its own /proc/self/status while it grows.
#include "bench.h"

#include "store/clients.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

struct FullTable {
    std::string pristine; // the full table, copied before each growth
    int32_t new_client = 0;
};

const FullTable& full_table() {
    static const FullTable t = [] {
        const int32_t n = config().grow_slots;
        const std::string dir = scratch() + "growth/";
        make_folder(dir);
        std::vector<int32_t> ids = distinct_ids(static_cast<std::size_t>(n) + 1, 7);
        std::vector<ClientRec> recs;
        for (int32_t i = 0; i < n; ++i)
            recs.push_back(client_record(ids[i]));
        write_table(dir + "full-user.txt", image_of(recs, n));
        return FullTable{dir + "full-user.txt", ids[n]};
    }();
    return t;
}

std::string grown_path() {
    return scratch() + "growth/" + TableTraits<ClientRec>::file;
}

void time_growth(benchmark::State& state) {
    const FullTable& t = full_table();
    double peak_mb = 0, peak_anon_mb = 0;
    for (auto _ : state) {
        copy_file(t.pristine, grown_path());
        std::string out;
        const int rc = run_program(
            {self_path(), "--grow-child", grown_path(), std::to_string(t.new_client)}, &out);
        double seconds = 0;
        long long bytes = 0, anon = 0;
        if (rc != 0 || std::sscanf(out.c_str(), "%lf %lld %lld", &seconds, &bytes, &anon) != 3) {
            state.SkipWithError(("the growth failed: " + out).c_str());
            break;
        }
        state.SetIterationTime(seconds);
        peak_mb = std::max(peak_mb, static_cast<double>(bytes) / (1 << 20));
        peak_anon_mb = std::max(peak_anon_mb, static_cast<double>(anon) / (1 << 20));
    }
    state.counters["peak_rss_MB"] = peak_mb;
    state.counters["peak_anon_MB"] = peak_anon_mb;
}

// Reads the old file, writes a file of the grown table's size in large
// writes, syncs it.
void time_growth_floor(benchmark::State& state) {
    const FullTable& t = full_table();
    const std::string out = scratch() + "growth/floor.txt";
    const int64_t bytes =
        int64_t{grown_slot_count(config().grow_slots)} * int64_t{sizeof(ClientRec)};
    const std::vector<char> block(1 << 20);
    for (auto _ : state) {
        const double start = now_seconds();
        read_file(t.pristine);
        write_file(out, nullptr, 0);
        {
            const Fd fd(out, true);
            for (int64_t done = 0; done < bytes; done += static_cast<int64_t>(block.size()))
                pwrite_exact(
                    fd.fd, block.data(),
                    static_cast<std::size_t>(std::min<int64_t>(bytes - done, block.size())), done);
            fsync_or_die(fd.fd);
        }
        state.SetIterationTime(now_seconds() - start);
        std::filesystem::remove(out);
    }
}

} // namespace

int growth_child(const std::string& path, int32_t key) {
    try {
        auto f = DataFile::open(path, DataFile::Mode::Update);
        const int32_t before = client_slots(*f);
        const int64_t rest = rss_total(), rest_anon = rss_anon();
        std::atomic<bool> done{false};
        std::atomic<int64_t> peak{rest}, peak_anon{rest_anon};
        std::thread sampler([&] {
            while (!done) {
                peak = std::max<int64_t>(peak, rss_total());
                peak_anon = std::max<int64_t>(peak_anon, rss_anon());
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        const double start = now_seconds();
        client_insert(*f, client_record(key));
        f->close();
        const double seconds = now_seconds() - start;
        done = true;
        sampler.join();
        auto grown = DataFile::open(path, DataFile::Mode::Read);
        if (client_slots(*grown) != grown_slot_count(before) || client_find(*grown, key) < 0) {
            std::printf("the grown table is not the one expected\n");
            return 1;
        }
        std::printf("%.6f %" PRId64 " %" PRId64 "\n", seconds, peak - rest, peak_anon - rest_anon);
        return 0;
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}

void register_growth() {
    const std::string at = size_label(config().grow_slots) + "_slots";
    add_heavy("growth/" + at + "/store", time_growth);
    add_heavy("growth/" + at + "/floor", time_growth_floor);
    add_ratio_row({"Growth of a full table of " + std::to_string(config().grow_slots) +
                       " clients to " + std::to_string(grown_slot_count(config().grow_slots)) +
                       " slots",
                   "growth",
                   "growth/" + at + "/store",
                   {own_time(), over("/read+write+sync", {"growth/" + at + "/floor"}, 2.0),
                    counter_of("peak RSS MB", "peak_rss_MB", 64.0),
                    counter_of("peak anon MB", "peak_anon_MB", 0)}});
}

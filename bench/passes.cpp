// The passes over a whole table against one sequential read of its file:
// the title search over the catalogue (the pass of the offline and online
// searches, for a title a few copies have) and the saved-list update's pass
// over the holds (the desk's own update_saved_list, on holds that all stand,
// as at most start-ups).
#include "bench.h"

#include "movies/saved_update.h"
#include "store/movies.h"

#include <cstring>

namespace {

// The copies named title, counted by the searches' pass.
int count_copies(const DataFile& catalog, std::string_view title) {
    int found = 0;
    movie_title_pass(catalog, 0, title, [&](int32_t, const MovieRec&) {
        ++found;
        return false;
    });
    return found;
}

void time_title_search(benchmark::State& state, int32_t size, int32_t load) {
    const auto& t = data_folder(size, load).movies;
    const std::string title(text_of(records(size).movies[records(size).movies.size() / 2].name));
    int expected = 0;
    for (const MovieRec& k : t.image)
        expected += k.id >= 1 && text_of(k.name) == title;
    auto catalog = DataFile::open(t.path, DataFile::Mode::Update);
    if (count_copies(*catalog, title) != expected)
        return state.SkipWithError("the title search counts other copies than the catalogue has");
    for (auto _ : state)
        benchmark::DoNotOptimize(count_copies(*catalog, title));
}

void time_hold_pass(benchmark::State& state, int32_t size, int32_t load) {
    const DataFolder& d = data_folder(size, load);
    std::string why;
    if (!enter_folder(d.dir, false, &why))
        return state.SkipWithError("the data folder cannot be entered");
    update_saved_list();
    std::vector<SavedRec> after(d.holds.image.size());
    const Fd fd(d.holds.path, false);
    pread_exact(fd.fd, after.data(), after.size() * sizeof(SavedRec), 0);
    if (std::memcmp(after.data(), d.holds.image.data(), after.size() * sizeof(SavedRec)) != 0)
        return state.SkipWithError("the saved-list update changed holds that still stand");
    for (auto _ : state)
        update_saved_list();
}

void time_read_file(benchmark::State& state, const std::string& path) {
    read_file(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(read_file(path));
}

} // namespace

void add_read_file(const std::string& name, const std::function<std::string()>& path_of) {
    add_bench(name, [=](benchmark::State& st) { time_read_file(st, path_of()); });
}

void register_passes() {
    for (int32_t size : config().sizes)
        for (int32_t load : config().loads) {
            const std::string at = size_label(size) + "/" + std::to_string(load) + "%";
            const std::string label = size_label(size) + " " + std::to_string(load) + "%";
            add_bench("title_search/" + at + "/store",
                      [=](benchmark::State& st) { time_title_search(st, size, load); });
            add_bench("hold_pass/" + at + "/store",
                      [=](benchmark::State& st) { time_hold_pass(st, size, load); });
            for (const char* file : {TableTraits<MovieRec>::file, TableTraits<SavedRec>::file})
                add_read_file("read_file/" + at + "/" + file,
                              [=] { return data_folder(size, load).dir + file; });
            const char* section = "Passes over a whole table, over one sequential read of the file";
            add_ratio_row({section,
                           "title_search " + label,
                           "title_search/" + at + "/store",
                           {own_time(), over("/sequential read",
                                             {"read_file/" + at + "/catalogmov.txt"}, 2.0)}});
            add_ratio_row({section,
                           "hold_pass " + label,
                           "hold_pass/" + at + "/store",
                           {own_time(), over("/sequential read",
                                             {"read_file/" + at + "/ressavmov.txt"}, 2.0)}});
        }
}

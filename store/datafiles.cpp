// Opening the data files, and creating a fresh set of them.
#include "store/datafiles.h"

#include "store/clients.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"

DataFile open_data_file(const char* name) {
    auto file = journal_open_table(name);
    if (!file)
        report_fault(Fault::cannot_open, name, "cannot be opened");
    return std::move(*file);
}

namespace {

template <class Rec>
void create_table(int32_t slots, void (*format)(DataFile&, int32_t), const std::string& suffix) {
    const std::string name = TableTraits<Rec>::file + suffix;
    auto file = DataFile::open(name, DataFile::Mode::Create);
    if (!file)
        report_fault(Fault::cannot_open, name, "cannot be created");
    format(*file, slots);
    file->close();
}

} // namespace

void setup_data_files(int32_t requested, const std::string& suffix) {
    int32_t slots = next_prime(requested);
    create_table<ClientRec>(slots, client_format, suffix);
    create_table<RentRec>(slots, rent_format, suffix);
    create_table<SavedRec>(slots, saved_format, suffix);
    create_table<ReserveRec>(slots, reserve_format, suffix);
    create_table<MovieRec>(slots, movie_format, suffix);
}

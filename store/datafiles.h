// The five data files as the desks open them, and the set-up that creates a
// fresh, empty set of them.
#pragma once

#include "store/datafile.h"
#include "store/tables.h"

#include <cstdint>
#include <string>

// Opens a data file of the current folder for reading and writing in place;
// one that cannot be opened is reported as Fault::cannot_open.
DataFile open_data_file(const char* name);

// Opens the data file of the table that holds Rec records.
template <class Rec>
DataFile open_table() {
    return open_data_file(TableTraits<Rec>::file);
}

// Creates the five data files in the current folder, each holding
// next_prime(requested) empty slots, in the order user, rentals, holds,
// reservations, catalogue, each named as its table followed by suffix. The
// first file that cannot be created is reported as Fault::cannot_open; the
// files after it are not touched.
void setup_data_files(int32_t requested, const std::string& suffix = "");

// The names of the five data files, in set-up order.
inline constexpr const char* kDataFileNames[5] = {
    TableTraits<ClientRec>::file, TableTraits<RentRec>::file, TableTraits<SavedRec>::file,
    TableTraits<ReserveRec>::file, TableTraits<MovieRec>::file};

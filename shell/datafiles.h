// The five data files as the desks open them, and the set-up that creates a
// fresh, empty set of them.
#pragma once

#include "store/datafile.h"
#include "store/tables.h"

#include <cstdint>

// Opens a data file of the current folder for reading and writing in place.
// When it cannot be opened, prints "Error opening input file \<name>!  End of
// program..\n" and ends the program with status 1.
DataFile open_data_file(const char* name);

// Opens the data file of the table that holds Rec records.
template <class Rec>
DataFile open_table() {
    return open_data_file(TableTraits<Rec>::file);
}

// The message printed when a data file cannot be opened or created.
void print_open_failure(const char* name);

// Creates the five data files in the current folder, each holding
// next_prime(requested) empty slots, in the order user, rentals, holds,
// reservations, catalogue. Ends the program with status 1 and the file's
// message on the first file that cannot be created.
void setup_data_files(int32_t requested);

// The names of the five data files, in set-up order.
inline constexpr const char* kDataFileNames[5] = {
    TableTraits<ClientRec>::file, TableTraits<RentRec>::file, TableTraits<SavedRec>::file,
    TableTraits<ReserveRec>::file, TableTraits<MovieRec>::file};

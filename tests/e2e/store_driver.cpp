// e2e_store_driver: applies a script of inserts and deletes to the data files
// of the current folder through the record store's own operations, so the
// end-to-end suite can check its model of the hashed files against the store.
//
// One command a line on standard input: "OP FILE HEX", OP being insert,
// delete (the table's delete) or delete-client (reservations: the one by the
// record's client), FILE a data file name and HEX one whole record as it lies
// on disk. Each command opens the file, applies the operation and closes it,
// as the desks do. Exits 2 on a malformed command.
#include "shell/datafiles.h"
#include "store/clients.h"
#include "store/movies.h"
#include "store/rents.h"
#include "store/reserves.h"
#include "store/saved.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

template <class Rec>
using Op = void (*)(DataFile&, Rec);

// Fills r from hex text of exactly sizeof(Rec) bytes; false otherwise.
template <class Rec>
bool parse_record(const std::string& hex, Rec& r) {
    if (hex.size() != 2 * sizeof(Rec))
        return false;
    unsigned char bytes[sizeof(Rec)];
    for (std::size_t i = 0; i < sizeof(Rec); ++i) {
        unsigned v = 0;
        if (std::sscanf(hex.c_str() + 2 * i, "%2x", &v) != 1)
            return false;
        bytes[i] = static_cast<unsigned char>(v);
    }
    std::memcpy(&r, bytes, sizeof(Rec));
    return true;
}

// Runs op on the table of Rec; false when the op has no operation here or
// the record does not parse.
template <class Rec>
bool apply(const std::string& op, const std::string& hex, Op<Rec> insert, Op<Rec> erase,
           Op<Rec> erase_client) {
    Rec r;
    Op<Rec> fn = op == "insert"          ? insert
                 : op == "delete"        ? erase
                 : op == "delete-client" ? erase_client
                                         : nullptr;
    if (!fn || !parse_record(hex, r))
        return false;
    DataFile f = open_table<Rec>();
    fn(f, r);
    f.close();
    return true;
}

bool run(const std::string& op, const std::string& file, const std::string& hex) {
    if (file == TableTraits<ClientRec>::file)
        return apply<ClientRec>(op, hex, client_insert, client_delete, nullptr);
    if (file == TableTraits<MovieRec>::file)
        return apply<MovieRec>(op, hex, movie_insert, movie_delete_copy, nullptr);
    if (file == TableTraits<RentRec>::file)
        return apply<RentRec>(op, hex, rent_insert, rent_delete, nullptr);
    if (file == TableTraits<ReserveRec>::file)
        return apply<ReserveRec>(op, hex, reserve_insert, reserve_delete, reserve_delete_client);
    if (file == TableTraits<SavedRec>::file)
        return apply<SavedRec>(op, hex, saved_insert, saved_delete, nullptr);
    return false;
}

} // namespace

int main() {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string op, file, hex;
        if (!(in >> op >> file >> hex) || !run(op, file, hex)) {
            std::fflush(stdout);
            std::fprintf(stderr, "e2e_store_driver: bad command: %s\n", line.c_str());
            return 2;
        }
    }
    std::fflush(stdout);
    return 0;
}

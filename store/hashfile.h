// The hashed record file, written once for all five tables: a file of
// fixed-size records used as an open-addressed table with double hashing on
// one 32-bit key. Key 0 marks an empty slot, -1 a deleted one, 1 or more a
// live record. Nothing is cached: every probe reads its slot from the file.
//
// A table is described by TableTraits<Rec> (store/tables.h): file name, key
// field, blank record and the message announced when it is full. Each table's
// header lists its named operations; they are one-line wrappers over these
// templates, whose comments are their contracts. The store reports what it
// cannot use through store/fault.h and never prints.
#pragma once

#include "store/datafile.h"
#include "store/fault.h"
#include "store/journal.h"
#include "store/tables.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline constexpr int32_t kEmptyKey = 0;
inline constexpr int32_t kDeletedKey = -1;

// The smallest w >= v that no integer from 2 to w-1 divides; v itself for
// v of 2 or less.
int32_t next_prime(int32_t v);

// Slot visited by probe i of key in a table of n slots (n >= 2, key >= 1),
// in 64-bit arithmetic so large tables cannot overflow.
inline int32_t probe_slot(int32_t key, int32_t n, int32_t i) {
    int64_t h1 = key % n;
    int64_t h2 = key % (n - 1) + 1;
    return static_cast<int32_t>((h1 + h2 * i) % n);
}

// Slot count a rebuild gives a table of n slots: next_prime(n + 10^d), d the
// number of decimal digits of n.
int32_t grown_slot_count(int32_t n);

// Called with the table's full message when an insert is about to grow it;
// the counter shows the message on the screen. Nothing is called by default.
using GrowthHook = void (*)(const char* message);
void set_growth_hook(GrowthHook hook);
void announce_growth(const char* message);

// slots: the number of whole records in the file, measured now; a file of
// fewer than 2 slots is damage (the probe divides by n - 1).
template <class Rec>
int32_t slot_count(const DataFile& f) {
    int64_t n = f.size() / static_cast<int64_t>(sizeof(Rec));
    if (n < 2)
        report_fault(Fault::damaged, f.path(), "has fewer than 2 slots and cannot be used");
    if (n > INT32_MAX)
        report_fault(Fault::damaged, f.path(), "is too large");
    return static_cast<int32_t>(n);
}

// A record whose key is below -1 is neither live, empty nor deleted: the
// file is damaged there, and nothing may be built on it.
template <class Rec>
const Rec& checked(const DataFile& f, int64_t slot, const Rec& r) {
    if (TableTraits<Rec>::key(r) < kDeletedKey)
        report_fault(Fault::damaged, f.path(),
                     "holds a damaged record in slot " + std::to_string(slot) + " (key " +
                         std::to_string(TableTraits<Rec>::key(r)) + ")");
    return r;
}

// A record, and its key alone, from the bytes of its slot.
template <class Rec>
Rec record_in(const char* bytes) {
    Rec r;
    std::memcpy(&r, bytes, sizeof r);
    return r;
}
template <class Rec>
int32_t key_in(const char* bytes) {
    int32_t k;
    std::memcpy(&k, bytes + TableTraits<Rec>::key_offset, sizeof k);
    return k;
}

// The bytes of the record at slot, from the reader of a keyed walk
// (DataFile::walk).
template <class Rec, class Reader>
const char* slot_bytes(const Reader& reader, int64_t slot) {
    return reader.at(slot * static_cast<int64_t>(sizeof(Rec)), sizeof(Rec));
}

// Passes over a whole table read it a chunk of records at a time.
inline constexpr int32_t kChunk = 4096;

// read: the record at slot (which the caller had from a search or a walk).
template <class Rec>
Rec read_slot(const DataFile& f, int32_t slot) {
    Rec r;
    f.read_at(static_cast<int64_t>(slot) * sizeof(Rec), &r, sizeof(Rec));
    return checked(f, slot, r);
}

// write: r over the whole record at slot.
template <class Rec>
void write_slot(DataFile& f, int32_t slot, const Rec& r) {
    f.write_at(static_cast<int64_t>(slot) * sizeof(Rec), &r, sizeof(Rec));
}

template <class Rec>
bool is_live(const Rec& r) {
    int32_t k = TableTraits<Rec>::key(r);
    return k != kEmptyKey && k != kDeletedKey;
}

// Walks the probe sequence of key: calls visit(slot, record) for every record
// with that key until visit returns true, the walk meets an empty slot, or n
// probes were made. Answers the slot where visit returned true, else -1.
template <class Rec, class Visit>
int32_t probe_walk(const DataFile& f, int32_t key, Visit visit) {
    if (key < 1)
        return -1;
    const int32_t n = slot_count<Rec>(f);
    const int64_t step = key % (n - 1) + 1; // probe i visits (key mod n + step * i) mod n
    return f.walk([&](const auto& reader) -> int32_t {
        int64_t s = key % n;
        for (int32_t i = 0; i < n; ++i, s = s + step < n ? s + step : s + step - n) {
            const char* bytes = slot_bytes<Rec>(reader, s);
            const int32_t k = key_in<Rec>(bytes);
            if (k == kEmptyKey)
                return -1;
            if (k != key && k >= kDeletedKey)
                continue; // another key's record, or a deleted slot: its bytes need no copy
            // The record is visited where it lies (a walk does not write).
            if (visit(static_cast<int32_t>(s), checked(f, s, *reinterpret_cast<const Rec*>(bytes))))
                return static_cast<int32_t>(s);
        }
        return -1;
    });
}

// find: the slot of the first record of key in its probe sequence that also
// satisfies match, or -1; passes deleted slots, stops at the first empty one.
// The record found is stored in *found when found is given, so that the
// caller need not read it again.
template <class Rec, class Match>
int32_t hash_find(const DataFile& f, int32_t key, Match match, Rec* found = nullptr) {
    return probe_walk<Rec>(f, key, [&](int32_t, const Rec& r) {
        if (!match(r))
            return false;
        if (found)
            *found = r;
        return true;
    });
}

template <class Rec>
int32_t hash_find(const DataFile& f, int32_t key, Rec* found = nullptr) {
    return hash_find<Rec>(
        f, key, [](const Rec&) { return true; }, found);
}

// Called between the chunks of every pass over a whole table, so that a
// pass over a huge table can be ended between records; the counter ends the
// program there when an ending signal is waiting. Nothing by default.
using PassHook = void (*)();
void set_pass_hook(PassHook hook);
void pass_point();

// A pass over the records from slot first to the last, in slot order, read a
// chunk at a time: calls visit(slot, record) until it returns true, and
// answers that slot, else -1. What visit writes to the file is seen by the
// rest of the pass: what was read ahead is read again after a write.
template <class Rec, class Visit>
int32_t hash_pass(const DataFile& f, int32_t first, Visit visit) {
    const int32_t n = slot_count<Rec>(f);
    std::string scratch; // a chunk read where the table is not mapped
    for (int32_t at = first; at < n;) {
        pass_point();
        const int32_t count = n - at < kChunk ? n - at : kChunk;
        const char* bytes = f.chunk(static_cast<int64_t>(at) * sizeof(Rec),
                                    static_cast<std::size_t>(count) * sizeof(Rec), scratch);
        const long writes = f.writes();
        int32_t i = 0;
        for (; i < count && f.writes() == writes; ++i) // a write ends the chunk: read it again
            if (visit(at + i, checked(f, at + i, record_in<Rec>(bytes + i * sizeof(Rec))))) {
                DataFile::check_views();
                return at + i;
            }
        at += i;
    }
    DataFile::check_views();
    return -1;
}

// Linear scan in file order: the lowest slot whose record satisfies match,
// else -1. Blank records are offered too; match decides.
template <class Rec, class Match>
int32_t hash_scan(const DataFile& f, Match match) {
    return hash_pass<Rec>(f, 0, [&](int32_t, const Rec& r) { return match(r); });
}

// delete: the blank record with the deleted key over slot (no-op for -1); each
// table's delete finds the slot by its own rule first.
template <class Rec>
void hash_erase(DataFile& f, int32_t slot) {
    if (slot < 0)
        return;
    Rec blank = TableTraits<Rec>::blank();
    TableTraits<Rec>::set_key(blank, kDeletedKey);
    write_slot(f, slot, blank);
}

// format: n empty records from the start of the file.
template <class Rec>
void hash_format(DataFile& f, int32_t n) {
    std::vector<Rec> buf(n < kChunk ? (n > 0 ? n : 0) : kChunk, TableTraits<Rec>::blank());
    for (int32_t base = 0; base < n; base += kChunk) {
        int32_t count = n - base < kChunk ? n - base : kChunk;
        f.write_at(static_cast<int64_t>(base) * sizeof(Rec), buf.data(), count * sizeof(Rec));
    }
}

// dump: the keys of the first n records, in slot order (0 empty, -1 deleted),
// damaged ones included as they stand.
template <class Rec>
std::vector<int32_t> hash_dump(const DataFile& f, int32_t n) {
    std::vector<int32_t> keys;
    std::string scratch;
    for (int32_t at = 0; at < n; at += kChunk) {
        const int32_t count = n - at < kChunk ? n - at : kChunk;
        const char* bytes = f.chunk(static_cast<int64_t>(at) * sizeof(Rec),
                                    static_cast<std::size_t>(count) * sizeof(Rec), scratch);
        for (int32_t i = 0; i < count; ++i)
            keys.push_back(key_in<Rec>(bytes + i * sizeof(Rec)));
    }
    DataFile::check_views();
    return keys;
}

// The table a growth builds in its temporary file: formatted, then each
// moved record placed in the first empty slot of its probe sequence, through
// a mapping of the file when the system gives one (else slot by slot).
template <class Rec>
class NewTable {
  public:
    NewTable(DataFile& file, int32_t slots) : file_(file), slots_(slots) {
        hash_format<Rec>(file, slots);
        view_ = file.map_for_writing();
    }

    // Answers false when every slot is taken (a table too large to grow).
    bool place(const Rec& r) {
        const int32_t key = TableTraits<Rec>::key(r);
        for (int32_t i = 0; i < slots_; ++i) {
            const int64_t at = static_cast<int64_t>(probe_slot(key, slots_, i)) * sizeof(Rec);
            Rec there;
            view_ ? (void)std::memcpy(&there, view_ + at, sizeof there)
                  : file_.read_at(at, &there, sizeof there);
            if (!is_live(there)) {
                view_ ? (void)std::memcpy(view_ + at, &r, sizeof r)
                      : file_.write_at(at, &r, sizeof r);
                return true;
            }
        }
        return false;
    }

  private:
    DataFile& file_;
    int32_t slots_;
    char* view_ = nullptr;
};

// How a table's slots stand: live records, deleted and empty slots.
struct SlotCounts {
    int32_t live = 0, deleted = 0, empty = 0;
};

// The slots of f counted by their keys alone, in one pass a chunk at a
// time; a damaged key (below -1) is counted as none of the three.
template <class Rec>
SlotCounts count_slots(const DataFile& f) {
    SlotCounts counts;
    const int32_t n = slot_count<Rec>(f);
    std::string scratch;
    for (int32_t at = 0; at < n; at += kChunk) {
        const int32_t count = n - at < kChunk ? n - at : kChunk;
        const char* bytes = f.chunk(static_cast<int64_t>(at) * sizeof(Rec),
                                    static_cast<std::size_t>(count) * sizeof(Rec), scratch);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t k = key_in<Rec>(bytes + i * sizeof(Rec));
            if (k == kEmptyKey)
                ++counts.empty;
            else if (k == kDeletedKey)
                ++counts.deleted;
            else if (k > 0)
                ++counts.live;
        }
    }
    DataFile::check_views();
    return counts;
}

// Builds beside the table of f, in <table>.new, a table of slots slots
// holding f's live records in their slot order and then *last when given,
// each placed as an insert into the empty table would place it; the records
// are copied to the scratch file hashadd.txt too. Both new files take f's
// permissions. Built a chunk of records at a time (its memory does not grow
// with the table); f stays open and unchanged. Answers how f's slots stood.
template <class Rec>
SlotCounts rebuild_beside(const DataFile& f, int32_t slots, const Rec* last) {
    const std::string path = f.path();
    const std::string temp = path + ".new";
    const std::string scratch_path = folder_of(path) + "hashadd.txt";
    auto scratch = DataFile::open(scratch_path, DataFile::Mode::Create, &f);
    if (!scratch)
        report_fault(Fault::damaged, scratch_path, "cannot be created");
    auto out = DataFile::open(temp, DataFile::Mode::Create, &f);
    if (!out)
        report_fault(Fault::damaged, temp, "cannot be created");
    NewTable<Rec> table(*out, slots);
    std::vector<Rec> moved; // the records copied to the scratch file, a chunk at a time
    auto copy_out = [&] {
        scratch->write_at(scratch->size(), moved.data(), moved.size() * sizeof(Rec));
        moved.clear();
    };
    auto move = [&](const Rec& rec) {
        if (!table.place(rec))
            report_fault(Fault::damaged, path, "is too large to grow");
        moved.push_back(rec);
        if (moved.size() == 4096)
            copy_out();
    };
    SlotCounts counts;
    hash_pass<Rec>(f, 0, [&](int32_t, const Rec& rec) {
        if (is_live(rec)) {
            ++counts.live;
            move(rec);
        } else {
            ++(TableTraits<Rec>::key(rec) == kEmptyKey ? counts.empty : counts.deleted);
        }
        return false;
    });
    if (last)
        move(*last);
    copy_out();
    scratch->close();
    out->close();
    return counts;
}

// rebuild: grows the table to grown_slot_count(n) slots holding its live
// records in their old slot order and then r (see rebuild_beside). The new
// table is built whole in a temporary file and renamed over the old one, so
// a crash leaves either the old table or the new one, never a mix; inside a
// clerk's action the rename waits for the action's end (store/journal.h).
// Answers the handle on the new file; f is closed.
template <class Rec>
DataFile hash_rebuild(DataFile& f, const Rec& r) {
    const std::string path = f.path();
    const std::string temp = path + ".new";
    rebuild_beside<Rec>(f, grown_slot_count(slot_count<Rec>(f)), &r);
    f.close();
    if (journal_is_open())
        journal_hold_growth(temp, path, &r, sizeof r); // put in place when the action ends
    else
        replace_file(temp, path);
    auto reopened = journal_open_table(path);
    if (!reopened)
        report_fault(Fault::damaged, path, "cannot be opened again after growing");
    return std::move(*reopened);
}

// Whether the table has an empty or deleted slot, from one pass over it.
template <class Rec>
bool has_free_slot(const DataFile& f) {
    return hash_pass<Rec>(f, 0, [](int32_t, const Rec& r) { return !is_live(r); }) >= 0;
}

// insert: r in the first free (empty or deleted) slot of its key's probe
// sequence. On a full table announces the table's message (see
// set_growth_hook) and rebuilds; f then refers to the rebuilt file. Keys
// below 1 are never stored.
template <class Rec>
void hash_insert(DataFile& f, const Rec& r) {
    int32_t key = TableTraits<Rec>::key(r);
    assert(key >= 1 && "keys below 1 never enter a table");
    if (key < 1)
        return;
    const int32_t n = slot_count<Rec>(f);
    const int32_t free = f.walk([&](const auto& reader) -> int32_t {
        for (int32_t i = 0; i < n; ++i) {
            // A table that is full is known from one pass, not from a probe of
            // every slot in the scattered order of the key's sequence.
            if (i == 32 && !has_free_slot<Rec>(f))
                return -1;
            const int32_t s = probe_slot(key, n, i);
            const char* bytes = slot_bytes<Rec>(reader, s);
            const int32_t k = key_in<Rec>(bytes);
            if (k < kDeletedKey)
                checked(f, s, record_in<Rec>(bytes));
            if (k == kEmptyKey || k == kDeletedKey)
                return s;
        }
        return -1;
    });
    if (free >= 0) {
        write_slot(f, free, r);
        return;
    }
    announce_growth(TableTraits<Rec>::full_message);
    f = hash_rebuild(f, r);
}

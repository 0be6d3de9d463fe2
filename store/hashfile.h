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

#include <algorithm>
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
// chunk at a time: calls visit(slot, bytes) with the bytes of each slot's
// record where they lie (no copy is made; they stay valid until visit writes
// to the file) until it returns true, and answers that slot, else -1; with
// kLiveOnly, only live records are visited. Every record's key is checked
// (see checked) before it is visited or passed over. What visit writes to the
// file is seen by the rest of the pass: what was read ahead is read again
// after a write.
template <class Rec, bool kLiveOnly, class Visit>
int32_t pass_over(const DataFile& f, int32_t first, Visit visit) {
    const int32_t n = slot_count<Rec>(f);
    std::string scratch; // a chunk read where the table is not mapped
    for (int32_t at = first; at < n;) {
        pass_point();
        const int32_t count = n - at < kChunk ? n - at : kChunk;
        const char* bytes = f.chunk(static_cast<int64_t>(at) * sizeof(Rec),
                                    static_cast<std::size_t>(count) * sizeof(Rec), scratch);
        const long writes = f.writes();
        int32_t i = 0;
        while (i < count) {
            const char* rec = bytes + static_cast<std::size_t>(i) * sizeof(Rec);
            const int32_t key = key_in<Rec>(rec);
            ++i;
            if (key < 1) {
                if (key < kDeletedKey) [[unlikely]]
                    checked(f, at + i - 1, record_in<Rec>(rec));
                if (kLiveOnly)
                    continue;
            }
            if (visit(at + i - 1, rec)) {
                DataFile::check_views();
                return at + i - 1;
            }
            if (f.writes() != writes)
                break; // a write ends the chunk: read it again
        }
        at += i;
    }
    DataFile::check_views();
    return -1;
}

// The pass over every slot, visit(slot, record) handed a copy of its record.
template <class Rec, class Visit>
int32_t hash_pass(const DataFile& f, int32_t first, Visit visit) {
    return pass_over<Rec, false>(f, first, [&](int32_t slot, const char* bytes) {
        return visit(slot, record_in<Rec>(bytes));
    });
}

// The pass over the live records alone, visit(slot, bytes) handed the bytes
// of each.
template <class Rec, class Visit>
int32_t hash_pass_live(const DataFile& f, int32_t first, Visit visit) {
    return pass_over<Rec, true>(f, first, visit);
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

// A growth reads and writes blocks of this many bytes, and gathers the
// moved records of as many slots as 16 blocks hold at once: what it holds in
// memory besides a bit per new slot and a slot number per moved record.
inline constexpr std::size_t kGrowthBlock = std::size_t{1} << 20;

// The slots of a table being built that records were placed in, a bit each.
class SlotBitmap {
  public:
    explicit SlotBitmap(int32_t n) : n_(n), bits_((static_cast<std::size_t>(n) + 63) / 64) {}
    // Places a record of key (1 or more) in the first slot of its probe
    // sequence no record was placed in before, as an insert into the table
    // would, and answers that slot; -1 when every slot is taken.
    int32_t take(int32_t key);

  private:
    int32_t n_;
    std::vector<uint64_t> bits_;
};

// Writes the table of n slots whose records are, in the order they were
// placed, those of the file moved, the i-th at slot slot_of[i]: from the start
// of out, in slot order, a block of block_bytes at a time, every slot no
// record took blank. The records of a run of blocks are gathered in one read
// of moved, as many at once as 16 blocks hold (a block's own, however many).
template <class Rec>
void write_placed(DataFile& out, int32_t n, const DataFile& moved,
                  const std::vector<int32_t>& slot_of, std::size_t block_bytes) {
    const int64_t block = std::max<int64_t>(1, static_cast<int64_t>(block_bytes / sizeof(Rec)));
    const int64_t blocks = (n + block - 1) / block;
    // start[b]: how many moved records lie in the blocks before block b.
    std::vector<int64_t> start(static_cast<std::size_t>(blocks) + 1);
    for (int32_t s : slot_of)
        ++start[static_cast<std::size_t>(s / block) + 1];
    for (int64_t b = 0; b < blocks; ++b)
        start[b + 1] += start[b];
    const Rec blank = TableTraits<Rec>::blank();
    std::vector<Rec> out_block(static_cast<std::size_t>(block), blank), in(out_block.size());
    std::vector<Rec> gathered;  // the run's records, by block
    std::vector<int32_t> slots; // and their slots
    std::vector<int64_t> next;  // where the next record of each block of the run goes
    for (int64_t first = 0; first < blocks;) {
        int64_t end = first + 1;
        while (end < blocks && start[end + 1] - start[first] <= 16 * block)
            ++end;
        const int64_t lo = first * block, hi = std::min<int64_t>(n, end * block);
        gathered.resize(static_cast<std::size_t>(start[end] - start[first]));
        slots.resize(gathered.size());
        next.assign(start.begin() + first, start.begin() + end);
        const int64_t total = static_cast<int64_t>(slot_of.size());
        for (int64_t at = 0; at < total && !gathered.empty(); at += block) {
            const int64_t count = std::min(block, total - at);
            moved.read_at(at * static_cast<int64_t>(sizeof(Rec)), in.data(),
                          static_cast<std::size_t>(count) * sizeof(Rec));
            for (int64_t i = 0; i < count; ++i)
                if (const int32_t s = slot_of[at + i]; s >= lo && s < hi) {
                    const int64_t to = next[s / block - first]++ - start[first];
                    gathered[to] = in[i];
                    slots[to] = s;
                }
        }
        for (int64_t b = first; b < end; ++b) {
            const int64_t base = b * block, count = std::min<int64_t>(block, n - base);
            const auto from = start[b] - start[first], to = start[b + 1] - start[first];
            for (auto i = from; i < to; ++i)
                out_block[slots[i] - base] = gathered[i];
            out.write_at(base * static_cast<int64_t>(sizeof(Rec)), out_block.data(),
                         static_cast<std::size_t>(count) * sizeof(Rec));
            for (auto i = from; i < to; ++i)
                out_block[slots[i] - base] = blank;
        }
        first = end;
    }
}

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
// each in the slot an insert into the empty table in that order gives it.
// The records are copied to the scratch file hashadd.txt beside the table,
// and the slot of each is worked out on a bitmap of the new slots; the new
// table is then written whole, in slot order, its records gathered from the
// scratch file. Both new files take f's permissions. The files are read and
// written a block of block_bytes at a time with positioned calls (nothing
// is mapped), so the memory it takes does not grow with the table's
// records' size; f stays open and unchanged. Answers how f's slots stood.
template <class Rec>
SlotCounts rebuild_beside(const DataFile& f, int32_t slots, const Rec* last,
                          std::size_t block_bytes = kGrowthBlock) {
    const std::string path = f.path();
    const std::string temp = path + ".new";
    const std::string scratch_path = folder_of(path) + "hashadd.txt";
    auto scratch = DataFile::open(scratch_path, DataFile::Mode::Create, &f);
    if (!scratch)
        report_fault(Fault::damaged, scratch_path, "cannot be created");
    auto out = DataFile::open(temp, DataFile::Mode::Create, &f);
    if (!out)
        report_fault(Fault::damaged, temp, "cannot be created");
    const int32_t old_n = slot_count<Rec>(f);
    SlotBitmap taken(slots);
    std::vector<int32_t> slot_of; // the new slot of each moved record, in the order moved
    std::vector<Rec> moved;       // the records copied to the scratch file, a chunk at a time
    auto copy_out = [&] {
        scratch->write_at(scratch->size(), moved.data(), moved.size() * sizeof(Rec));
        moved.clear();
    };
    auto move = [&](const Rec& rec) {
        const int32_t slot = taken.take(TableTraits<Rec>::key(rec));
        if (slot < 0)
            report_fault(Fault::damaged, path, "is too large to grow");
        slot_of.push_back(slot);
        moved.push_back(rec);
        if (moved.size() == 4096)
            copy_out();
    };
    SlotCounts counts;
    const int32_t block = std::max<int32_t>(1, static_cast<int32_t>(block_bytes / sizeof(Rec)));
    std::vector<Rec> in(static_cast<std::size_t>(block));
    for (int32_t at = 0; at < old_n; at += block) {
        pass_point();
        const int32_t count = std::min(block, old_n - at);
        f.read_at(static_cast<int64_t>(at) * sizeof(Rec), in.data(),
                  static_cast<std::size_t>(count) * sizeof(Rec));
        for (int32_t i = 0; i < count; ++i) {
            if (is_live(checked(f, at + i, in[i]))) {
                ++counts.live;
                move(in[i]);
            } else {
                ++(TableTraits<Rec>::key(in[i]) == kEmptyKey ? counts.empty : counts.deleted);
            }
        }
    }
    if (last)
        move(*last);
    copy_out();
    write_placed<Rec>(*out, slots, *scratch, slot_of, block_bytes);
    scratch->close();
    out->close();
    return counts;
}

// rebuild: grows the table to grown_slot_count(n) slots holding its live
// records in their old slot order and then r (see rebuild_beside). The new
// table is built whole in a temporary file and renamed over the old one, so
// a crash leaves either the old table or the new one, never a mix; inside a
// clerk's action the rename waits for the action's end (store/journal.h).
// Answers the handle on the new file; f is closed. block_bytes is the size
// of a block.
template <class Rec>
DataFile hash_rebuild(DataFile& f, const Rec& r, std::size_t block_bytes = kGrowthBlock) {
    const std::string path = f.path();
    const std::string temp = path + ".new";
    rebuild_beside<Rec>(f, grown_slot_count(slot_count<Rec>(f)), &r, block_bytes);
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

// Whether the table has an empty or deleted slot, from one pass over it in
// slot order, every record checked up to the first free one. It reads with
// positioned calls, in chunks growing from a few records (a free slot is
// mostly found at once) to a growth's block: a full table, about to grow,
// is not mapped whole for it.
template <class Rec>
bool has_free_slot(const DataFile& f) {
    const int32_t n = slot_count<Rec>(f);
    std::vector<Rec> in;
    for (int32_t at = 0, chunk = 64; at < n; at += static_cast<int32_t>(in.size())) {
        pass_point();
        in.resize(static_cast<std::size_t>(std::min(chunk, n - at)));
        f.read_at(static_cast<int64_t>(at) * sizeof(Rec), in.data(), in.size() * sizeof(Rec));
        for (std::size_t i = 0; i < in.size(); ++i)
            if (!is_live(checked(f, at + static_cast<int64_t>(i), in[i])))
                return true;
        chunk = std::min<int32_t>(chunk * 2, static_cast<int32_t>(kGrowthBlock / sizeof(Rec)));
    }
    return false;
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

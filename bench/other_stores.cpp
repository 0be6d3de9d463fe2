// The same clients held in GDBM, LMDB, Kyoto Cabinet and SQLite, keyed on
// the client id (4 bytes) with the 64-byte record as the value, for keyed
// finds, hit and miss. Each is built once per size in the scratch folder and
// read in its fast configuration: GDBM as it comes (it maps its file), LMDB
// with integer keys and one read transaction held across the finds, Kyoto
// Cabinet's hash database with twice as many buckets as records and its
// whole file mapped, SQLite with an integer primary key, one prepared
// statement, its file mapped and its lock kept (no lock taken and dropped
// around every find). Every find copies the record out, as the
// store's find and read do.
#include "bench.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gdbm.h>
#include <kchashdb.h>
#include <lmdb.h>
#include <map>
#include <memory>
#include <sqlite3.h>

namespace {

constexpr int64_t kMapBytes = int64_t{1} << 31;

struct OtherStore {
    virtual ~OtherStore() = default;
    // Copies the client with id key into out; answers whether there is one.
    virtual bool get(int32_t key, ClientRec* out) = 0;
};

class Gdbm : public OtherStore {
    GDBM_FILE db_;

  public:
    static void build(const std::string& path, const std::vector<ClientRec>& recs) {
        GDBM_FILE db = gdbm_open(path.c_str(), 0, GDBM_NEWDB, 0644, nullptr);
        if (!db)
            die("GDBM cannot create " + path);
        for (ClientRec r : recs) {
            datum k{reinterpret_cast<char*>(&r.id), sizeof r.id};
            datum v{reinterpret_cast<char*>(&r), sizeof r};
            if (gdbm_store(db, k, v, GDBM_REPLACE) != 0)
                die("GDBM cannot store a record");
        }
        gdbm_close(db);
    }
    explicit Gdbm(const std::string& path)
        : db_(gdbm_open(path.c_str(), 0, GDBM_READER, 0, nullptr)) {
        if (!db_)
            die("GDBM cannot open " + path);
    }
    ~Gdbm() override { gdbm_close(db_); }
    bool get(int32_t key, ClientRec* out) override {
        datum v = gdbm_fetch(db_, datum{reinterpret_cast<char*>(&key), sizeof key});
        if (!v.dptr)
            return false;
        std::memcpy(out, v.dptr, sizeof *out);
        std::free(v.dptr);
        return true;
    }
};

void lmdb_check(int rc, const char* what) {
    if (rc != 0)
        die(std::string("LMDB: ") + what + ": " + mdb_strerror(rc));
}

class Lmdb : public OtherStore {
    MDB_env* env_ = nullptr;
    MDB_txn* txn_ = nullptr;
    MDB_dbi dbi_ = 0;

    void open(const std::string& path, unsigned flags) {
        lmdb_check(mdb_env_create(&env_), "create");
        lmdb_check(mdb_env_set_mapsize(env_, kMapBytes), "map size");
        lmdb_check(mdb_env_open(env_, path.c_str(), MDB_NOSUBDIR | flags, 0644), "open");
        lmdb_check(mdb_txn_begin(env_, nullptr, flags & MDB_RDONLY, &txn_), "begin");
        lmdb_check(mdb_dbi_open(txn_, nullptr,
                                MDB_INTEGERKEY | (flags & MDB_RDONLY ? 0 : MDB_CREATE), &dbi_),
                   "table");
    }

  public:
    static void build(const std::string& path, std::vector<ClientRec> recs) {
        std::sort(recs.begin(), recs.end(), [](auto& a, auto& b) { return a.id < b.id; });
        Lmdb db;
        db.open(path, MDB_NOSYNC);
        for (ClientRec r : recs) {
            MDB_val k{sizeof r.id, &r.id}, v{sizeof r, &r};
            lmdb_check(mdb_put(db.txn_, db.dbi_, &k, &v, MDB_APPEND), "put");
        }
        lmdb_check(mdb_txn_commit(db.txn_), "commit");
        db.txn_ = nullptr;
    }
    Lmdb() = default;
    explicit Lmdb(const std::string& path) { open(path, MDB_RDONLY); }
    ~Lmdb() override {
        if (txn_)
            mdb_txn_abort(txn_);
        mdb_env_close(env_);
    }
    bool get(int32_t key, ClientRec* out) override {
        MDB_val k{sizeof key, &key}, v;
        if (mdb_get(txn_, dbi_, &k, &v) != 0)
            return false;
        std::memcpy(out, v.mv_data, sizeof *out);
        return true;
    }
};

class Kyoto : public OtherStore {
    kyotocabinet::HashDB db_;

  public:
    static void build(const std::string& path, const std::vector<ClientRec>& recs) {
        kyotocabinet::HashDB db;
        db.tune_buckets(static_cast<int64_t>(recs.size()) * 2);
        db.tune_map(kMapBytes);
        using H = kyotocabinet::HashDB;
        if (!db.open(path, H::OWRITER | H::OCREATE | H::OTRUNCATE))
            die("Kyoto Cabinet cannot create " + path);
        for (const ClientRec& r : recs)
            if (!db.set(reinterpret_cast<const char*>(&r.id), sizeof r.id,
                        reinterpret_cast<const char*>(&r), sizeof r))
                die("Kyoto Cabinet cannot store a record");
        db.close();
    }
    explicit Kyoto(const std::string& path) {
        db_.tune_map(kMapBytes);
        if (!db_.open(path, kyotocabinet::HashDB::OREADER))
            die("Kyoto Cabinet cannot open " + path);
    }
    ~Kyoto() override { db_.close(); }
    bool get(int32_t key, ClientRec* out) override {
        return db_.get(reinterpret_cast<const char*>(&key), sizeof key,
                       reinterpret_cast<char*>(out), sizeof *out) == sizeof *out;
    }
};

class Sqlite : public OtherStore {
    sqlite3* db_ = nullptr;
    sqlite3_stmt* find_ = nullptr;

    static void exec(sqlite3* db, const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            die(std::string("SQLite: ") + sqlite3_errmsg(db));
    }

  public:
    static void build(const std::string& path, const std::vector<ClientRec>& recs) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            die("SQLite cannot create " + path);
        exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                 "CREATE TABLE clients(id INTEGER PRIMARY KEY, rec BLOB NOT NULL); BEGIN");
        sqlite3_stmt* put = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO clients VALUES(?1, ?2)", -1, &put, nullptr);
        for (const ClientRec& r : recs) {
            sqlite3_bind_int(put, 1, r.id);
            sqlite3_bind_blob(put, 2, &r, sizeof r, SQLITE_STATIC);
            if (sqlite3_step(put) != SQLITE_DONE)
                die(std::string("SQLite: ") + sqlite3_errmsg(db));
            sqlite3_reset(put);
        }
        sqlite3_finalize(put);
        exec(db, "COMMIT");
        sqlite3_close(db);
    }
    explicit Sqlite(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            die("SQLite cannot open " + path);
        exec(db_, "PRAGMA mmap_size=2147418112; PRAGMA locking_mode=EXCLUSIVE");
        if (sqlite3_prepare_v2(db_, "SELECT rec FROM clients WHERE id = ?1", -1, &find_, nullptr) !=
            SQLITE_OK)
            die(std::string("SQLite: ") + sqlite3_errmsg(db_));
    }
    ~Sqlite() override {
        sqlite3_finalize(find_);
        sqlite3_close(db_);
    }
    bool get(int32_t key, ClientRec* out) override {
        sqlite3_bind_int(find_, 1, key);
        const bool found =
            sqlite3_step(find_) == SQLITE_ROW && sqlite3_column_bytes(find_, 0) == sizeof *out;
        if (found)
            std::memcpy(out, sqlite3_column_blob(find_, 0), sizeof *out);
        sqlite3_reset(find_);
        return found;
    }
};

// The store named, holding the clients of size: built on first use, then
// opened for reading.
std::unique_ptr<OtherStore> open_other(const std::string& name, int32_t size) {
    static std::map<std::string, bool> built;
    const std::string dir = scratch() + "other-" + size_label(size) + "/";
    const std::string path = dir + name;
    const std::vector<ClientRec>& recs = records(size).clients;
    if (!built[path]) {
        make_folder(dir);
        name == "GDBM"     ? Gdbm::build(path, recs)
        : name == "LMDB"   ? Lmdb::build(path, recs)
        : name == "SQLite" ? Sqlite::build(path, recs)
                           : Kyoto::build(path, recs);
        built[path] = true;
    }
    if (name == "GDBM")
        return std::make_unique<Gdbm>(path);
    if (name == "LMDB")
        return std::make_unique<Lmdb>(path);
    if (name == "SQLite")
        return std::make_unique<Sqlite>(path);
    return std::make_unique<Kyoto>(path);
}

void time_get(benchmark::State& state, const std::string& name, int32_t size, bool hit) {
    const std::unique_ptr<OtherStore> store = open_other(name, size);
    const std::vector<Query>& qs = hit ? records(size).client_hits : records(size).client_misses;
    ClientRec r;
    for (const Query& q : qs)
        if (store->get(q.key, &r) != hit || (hit && r.id != q.key))
            return state.SkipWithError("the store answers otherwise than the records it holds");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->get(query_at(qs, i++).key, &r));
        benchmark::DoNotOptimize(r);
    }
}

} // namespace

void register_other_stores() {
    for (int32_t size : config().sizes)
        for (const std::string& name : kOtherStores)
            for (bool hit : {true, false})
                add_bench(other_store_bench(name, hit, size),
                          [=](benchmark::State& st) { time_get(st, name, size, hit); });
}

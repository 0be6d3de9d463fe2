// The day log's lines and files: a line's fields as written and read back,
// lines that are no event, and the log after what a crash leaves (lines lost
// before their sync, a line cut short) once the journal is recovered.
#include "store/clients.h"
#include "store/datafiles.h"
#include "store/daylog.h"
#include "store/journal.h"
#include "store/logbook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The log's one file, whatever month the clock gives it.
std::string log_path() {
    const std::vector<std::string> files = log_files("", kLogSuffix);
    return files.empty() ? "" : files.back();
}

// One clerk's action: client id added, with its event.
void add_client(int32_t id) {
    DataFile users = open_table<ClientRec>();
    ClientRec client = TableTraits<ClientRec>::blank();
    client.id = id;
    client_insert(users, client);
    log_client_added(client);
    users.close();
    journal_commit();
}

} // namespace

TEST(DayLog, LinesReadBackAsWrittenAndOthersAreNoEvents) {
    const std::string odd = "a\tb\nc\\d\x01 é";
    const std::string line =
        "7\t2009-03-02 10:00:00\trentdesk-admin import\timport\tname=" + escape_field(odd) +
        "\trows=30";
    LogLine e;
    ASSERT_TRUE(parse_log_line(line, e));
    EXPECT_EQ(e.seq, 7);
    EXPECT_EQ(e.program, "rentdesk-admin import");
    EXPECT_EQ(e.field("name"), odd);
    EXPECT_EQ(e.number("rows"), 30);
    EXPECT_EQ(e.number("missing"), 0);
    for (const char* bad : {"", "7", "07\t2009-03-02 10:00:00\tp\tk", "7\t2009-03-02 10:00\tp\tk",
                            "7\t2009-03-02 10:00:00\t\tk", "7\t2009-03-02 10:00:00\tp\tk\tnoequals",
                            "7\t2009-03-02 10:00:00\tp\tk\tx=\\q", "x\t2009-03-02 10:00:00\tp\tk"})
        EXPECT_FALSE(parse_log_line(bad, e)) << bad;
}

// Each case: what happens to the log after two actions were committed (the
// journal still holding them, as after a power failure), and the log once
// the journal is recovered.
TEST(DayLog, RecoveryGivesTheLogEveryLineOnceAndDropsAnUnfinishedOne) {
    struct Case {
        const char* what;
        std::string (*damage)(const std::string& log);
    };
    const Case cases[] = {
        {"nothing lost", [](const std::string& log) { return log; }},
        {"both lines lost", [](const std::string&) { return std::string(); }},
        {"the last line lost",
         [](const std::string& log) { return log.substr(0, log.find('\n') + 1); }},
        {"the last line cut short",
         [](const std::string& log) { return log.substr(0, log.size() - 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::create_directory(c.what);
        std::filesystem::current_path(c.what);
        setup_data_files(5);
        journal_open();
        for (int32_t id : {1, 2})
            add_client(id);
        const std::string whole = read(log_path());
        ASSERT_EQ(std::count(whole.begin(), whole.end(), '\n'), 2);
        write(log_path(), c.damage(whole));
        EXPECT_FALSE(journal_recover()); // both actions reached the tables already
        EXPECT_EQ(read(log_path()), whole);
        EXPECT_FALSE(journal_recover());
        EXPECT_EQ(read(log_path()), whole);
        EXPECT_TRUE(log_problems("", journal_tables_seq()).empty());
        journal_close(); // and the log's files, so that the folder can go
        DataFile::close_all();
        std::filesystem::current_path("..");
    }
}

TEST(Journal, KeepsEveryActionUntilItsCheckpointAndRecoveryAppliesThemAllAgain) {
    std::filesystem::create_directory("checkpoint");
    std::filesystem::current_path("checkpoint");
    setup_data_files(211);
    const std::string empty = read("user.txt");
    journal_open();
    for (int32_t id = 1; id <= 64; ++id) {
        add_client(id);
        // Each action's intent stays, marked applied, up to the 64th.
        EXPECT_EQ(std::filesystem::file_size("rentdesk.journal") == 20, id == 64) << id;
    }
    for (int32_t id = 65; id <= 67; ++id)
        add_client(id);
    const std::string whole = read("user.txt");
    // The table as a power failure could leave it: the writes since the
    // checkpoint never reached the disk, though their intents are marked.
    std::string lost = whole;
    for (int32_t id = 65; id <= 67; ++id) {
        DataFile users = open_table<ClientRec>();
        const int64_t at = client_find(users, id) * int64_t(sizeof(ClientRec));
        lost.replace(static_cast<std::size_t>(at), sizeof(ClientRec), empty, 0, sizeof(ClientRec));
    }
    write("user.txt", lost);
    EXPECT_FALSE(journal_recover()); // no action was cut short: all three are applied again
    EXPECT_EQ(read("user.txt"), whole);
    EXPECT_EQ(std::filesystem::file_size("rentdesk.journal"), 20u);
    journal_close();
    DataFile::close_all();
    // A journal made afresh and never written (one deleted as litter, made
    // again by the next start) tells nothing of the tables: the log is sound.
    std::filesystem::resize_file("rentdesk.journal", 0);
    EXPECT_TRUE(log_problems("", journal_tables_seq()).empty());
    std::filesystem::current_path("..");
}

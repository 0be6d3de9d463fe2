// Creating a fresh set of data files: the slot count, the sizes and bytes of
// the five files, failures, and the rentdesk-admin init command around it.
#include "shell/datafiles.h"
#include "store/clients.h"
#include "store/movies.h"
#include "tests/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kFiles[] = {"user.txt", "rentmovies.txt", "ressavmov.txt", "reservedmov.txt",
                              "catalogmov.txt"};

// Every data file in the working folder holds exactly n empty slots.
void expect_empty_files(int32_t n) {
    for (const char* name : kFiles)
        EXPECT_EQ(file_bytes(name), empty_table_bytes(name, n)) << name;
}

bool any_data_file_exists() {
    for (const char* name : kFiles)
        if (std::filesystem::exists(name))
            return true;
    return false;
}

// Puts a record in the client and catalogue files, so they are not blank.
void add_some_records() {
    DataFile clients = open_data_file("user.txt");
    ClientRec c = TableTraits<ClientRec>::blank();
    c.id = 7;
    client_insert(clients, c);
    DataFile movies = open_data_file("catalogmov.txt");
    MovieRec m = TableTraits<MovieRec>::blank();
    m.id = 3;
    m.copy = 1;
    movie_insert(movies, m);
}

void stdout_to_stderr() {
    std::fflush(stdout);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

struct AdminRun {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out, err;
};

// Runs rentdesk-admin with args in the working folder; its output goes
// through two files there, which are no data files.
AdminRun run_admin(const std::vector<std::string>& args) {
    std::string command = RENTDESK_ADMIN_PATH;
    for (const std::string& a : args)
        command += " '" + a + "'";
    const std::string out = "admin-out", err = "admin-err";
    int status = std::system((command + " >" + out + " 2>" + err).c_str());
    AdminRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (auto [path, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
        Bytes b = file_bytes(path);
        text->assign(b.begin(), b.end());
        std::filesystem::remove(path);
    }
    return run;
}

} // namespace

// ---- The set-up operation.

TEST(Setup, GivesEveryFileTheSmallestPrimeNumberOfEmptySlotsAtOrAboveTheRequest) {
    for (auto [asked, slots] : {std::pair{10, 11}, std::pair{13, 13}}) {
        ScratchFolder dir;
        setup_data_files(asked);
        expect_empty_files(slots);
        EXPECT_FALSE(std::filesystem::exists("hashadd.txt"));
    }
}

TEST(Setup, OverExistingFilesLeavesOnlyEmptyRecords) {
    ScratchFolder dir;
    setup_data_files(2);
    add_some_records();
    {
        // Grow the catalogue past the size the set-up will ask for.
        DataFile movies = open_data_file("catalogmov.txt");
        MovieRec m = TableTraits<MovieRec>::blank();
        m.id = 4;
        testing::internal::CaptureStdout();
        for (m.copy = 1; m.copy <= 2; ++m.copy)
            movie_insert(movies, m);
        testing::internal::GetCapturedStdout();
    }
    ASSERT_EQ(file_bytes("catalogmov.txt").size(), 13u * 44);
    const Bytes scratch = file_bytes("hashadd.txt");

    setup_data_files(10);
    expect_empty_files(11);
    EXPECT_EQ(file_bytes("hashadd.txt"), scratch) << "the scratch file is not the set-up's";
}

TEST(SetupDeathTest, AFileThatCannotBeCreatedEndsTheProgramAfterTheOnesBeforeIt) {
    ScratchFolder dir;
    std::filesystem::create_directory("reservedmov.txt");
    EXPECT_EXIT((stdout_to_stderr(), setup_data_files(10)), testing::ExitedWithCode(1),
                "^Error opening input file \\\\reservedmov\\.txt!  End of program\\.\\.\n$");
    for (const char* name : {"user.txt", "rentmovies.txt", "ressavmov.txt"})
        EXPECT_EQ(file_bytes(name), empty_table_bytes(name, 11)) << name;
    EXPECT_FALSE(std::filesystem::exists("catalogmov.txt"));
}

TEST(SetupDeathTest, AMissingDataFileEndsTheProgramWithItsMessage) {
    ScratchFolder dir;
    EXPECT_EXIT((stdout_to_stderr(), open_data_file("user.txt")), testing::ExitedWithCode(1),
                "^Error opening input file \\\\user\\.txt!  End of program\\.\\.\n$");
    EXPECT_FALSE(std::filesystem::exists("user.txt")) << "opening must not create the file";
}

// ---- rentdesk-admin init.

TEST(AdminInit, CreatesTheFilesOnceAndOnlyForceRecreatesThem) {
    ScratchFolder dir;
    AdminRun run = run_admin({"init", "10"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("11 slots"), std::string::npos) << run.out;
    expect_empty_files(11);

    add_some_records();
    std::vector<Bytes> before;
    for (const char* name : kFiles)
        before.push_back(file_bytes(name));
    run = run_admin({"init", "10"});
    EXPECT_EQ(run.status, 2);
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        EXPECT_NE(run.err.find(kFiles[i]), std::string::npos) << kFiles[i] << ": " << run.err;
        EXPECT_EQ(file_bytes(kFiles[i]), before[i]) << kFiles[i] << " was changed";
    }

    run = run_admin({"init", "20", "--force"});
    EXPECT_EQ(run.status, 0) << run.err;
    expect_empty_files(23);
}

TEST(AdminInit, RefusesWhenAnyOneFileExists) {
    ScratchFolder dir;
    put_file_bytes("ressavmov.txt", {});
    AdminRun run = run_admin({"init", "10"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("ressavmov.txt"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("user.txt"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists("user.txt"));
}

TEST(AdminInit, BadArgumentsGiveUsageAndCreateNothing) {
    ScratchFolder dir;
    const std::vector<std::vector<std::string>> bad = {
        {"init", "1"},
        {"init", "0"},
        {"init", "abc"},
        {"init", "12x"},
        {"init", "-5"},
        {"init"},
        {"init", ""},
        {"init", "10", "20"},
        {"start", "10"},
        {},
        {"init", "99999999999"},
    };
    for (const auto& args : bad) {
        std::string shown;
        for (const auto& a : args)
            shown += " [" + a + "]";
        AdminRun run = run_admin(args);
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_NE(run.err.find("usage: rentdesk-admin init SLOTS [--force]\n"), std::string::npos)
            << shown << ": " << run.err;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_FALSE(any_data_file_exists()) << shown;
    }
    AdminRun help = run_admin({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("init SLOTS"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    EXPECT_FALSE(any_data_file_exists());
}

// Creating a fresh set of data files: the slot count, the sizes and bytes of
// the five files, failures, and the rentdesk-admin init command around it.
#include "shell/datafiles.h"
#include "store/clients.h"
#include "store/movies.h"
#include "tests/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct FileSize {
    const char* name;
    std::size_t record;
};
const FileSize kFiles[] = {{"user.txt", 64},
                           {"rentmovies.txt", 28},
                           {"ressavmov.txt", 24},
                           {"reservedmov.txt", 24},
                           {"catalogmov.txt", 44}};

// Every data file in the working folder holds exactly n empty slots.
void expect_empty_files(int32_t n) {
    for (const FileSize& f : kFiles) {
        Bytes bytes = file_bytes(f.name);
        EXPECT_EQ(bytes.size(), f.record * n) << f.name;
        EXPECT_EQ(bytes, empty_table_bytes(f.name, n)) << f.name;
    }
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
    std::string out;
    std::string err;
};

std::string drain(int fd) {
    std::string text;
    char buf[4096];
    ssize_t got;
    while ((got = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(got));
    ::close(fd);
    return text;
}

// Runs rentdesk-admin with args in the working folder. Its output is small,
// so reading one pipe to its end before the other cannot stall it.
AdminRun run_admin(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        return {};
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<char*> argv{const_cast<char*>(RENTDESK_ADMIN_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(RENTDESK_ADMIN_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    AdminRun run;
    run.out = drain(out[0]);
    run.err = drain(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool any_data_file_exists() {
    for (const FileSize& f : kFiles)
        if (std::filesystem::exists(f.name))
            return true;
    return false;
}

} // namespace

// ---- The set-up operation.

TEST(Setup, ARequestOf10GivesEveryFile11EmptySlots) {
    ScratchFolder dir;
    setup_data_files(10);
    EXPECT_EQ(file_bytes("user.txt").size(), 704u);
    EXPECT_EQ(file_bytes("rentmovies.txt").size(), 308u);
    EXPECT_EQ(file_bytes("ressavmov.txt").size(), 264u);
    EXPECT_EQ(file_bytes("reservedmov.txt").size(), 264u);
    EXPECT_EQ(file_bytes("catalogmov.txt").size(), 484u);
    expect_empty_files(11);
    EXPECT_FALSE(std::filesystem::exists("hashadd.txt"));
}

TEST(Setup, APrimeRequestIsKept) {
    ScratchFolder dir;
    setup_data_files(13);
    expect_empty_files(13);
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
    EXPECT_EQ(file_bytes("user.txt"), empty_table_bytes("user.txt", 11));
    EXPECT_EQ(file_bytes("rentmovies.txt"), empty_table_bytes("rentmovies.txt", 11));
    EXPECT_EQ(file_bytes("ressavmov.txt"), empty_table_bytes("ressavmov.txt", 11));
    EXPECT_FALSE(std::filesystem::exists("catalogmov.txt"));
}

TEST(SetupDeathTest, AMissingDataFileEndsTheProgramWithItsMessage) {
    ScratchFolder dir;
    EXPECT_EXIT((stdout_to_stderr(), open_data_file("user.txt")), testing::ExitedWithCode(1),
                "^Error opening input file \\\\user\\.txt!  End of program\\.\\.\n$");
    EXPECT_FALSE(std::filesystem::exists("user.txt")) << "opening must not create the file";
}

// ---- rentdesk-admin init.

TEST(AdminInit, CreatesTheFilesInAnEmptyFolder) {
    ScratchFolder dir;
    AdminRun run = run_admin({"init", "10"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("11 slots"), std::string::npos) << run.out;
    expect_empty_files(11);
}

TEST(AdminInit, RefusesOverExistingFilesAndChangesNothing) {
    ScratchFolder dir;
    ASSERT_EQ(run_admin({"init", "10"}).status, 0);
    add_some_records();
    std::vector<Bytes> before;
    for (const FileSize& f : kFiles)
        before.push_back(file_bytes(f.name));

    AdminRun run = run_admin({"init", "10"});
    EXPECT_EQ(run.status, 2);
    for (const FileSize& f : kFiles)
        EXPECT_NE(run.err.find(f.name), std::string::npos) << f.name << " not named: " << run.err;
    for (std::size_t i = 0; i < std::size(kFiles); ++i)
        EXPECT_EQ(file_bytes(kFiles[i].name), before[i]) << kFiles[i].name << " was changed";
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

TEST(AdminInit, ForceRecreatesTheFiles) {
    ScratchFolder dir;
    ASSERT_EQ(run_admin({"init", "10"}).status, 0);
    add_some_records();
    AdminRun run = run_admin({"init", "20", "--force"});
    EXPECT_EQ(run.status, 0) << run.err;
    expect_empty_files(23);
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
        {"init", "99999999999"},
        {"start", "10"},
        {},
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
}

TEST(AdminInit, HelpExitsZero) {
    ScratchFolder dir;
    AdminRun run = run_admin({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("init SLOTS"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(any_data_file_exists());
}

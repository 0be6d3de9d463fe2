// The main loop and the main menu.
#include "counter/main_loop.h"

#include "clients/login.h"
#include "clients/maintenance.h"
#include "clients/return_disk.h"
#include "movies/maintenance.h"
#include "movies/offline_search.h"
#include "movies/online_search.h"
#include "movies/saved_update.h"
#include "shell/screen.h"
#include "shell/terminal.h"
#include "store/datafile.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/fault.h"
#include "store/hashfile.h"
#include "store/journal.h"
#include "store/logbook.h"
#include "store/receipt.h"
#include "store/tables.h"

#include <array>
#include <cstdio>

namespace {

constexpr int32_t kMonthPrice = 200;

constexpr const char* kPrompt = " Please select your chiose by keyboard... exit with ESC";
constexpr std::string_view kEntryTop = " ________________________\n";
constexpr std::array<std::string_view, 7> kEntryLabels = {
    "|______Client Login______|\n\n", "|___Client Disconnect____|\n\n",
    "|____Search For Movie____|\n\n", "|____Update Saved List___|\n\n",
    "|____Add/Remove Client___|\n\n", "|____Add/Remove Movie____|\n\n",
    "|__________Exit__________|\n\n"};

constexpr const char* kLoginRefused = "A client is connected! disconnect to login other client";
constexpr const char* kDisconnectRefused = "No client is connected!";
constexpr const char* kOptionRefused = "A client is connected, disconnect to enter option";
constexpr const char* kMovieOptionRefused =
    "A client is connected, disconnect to enter this option";

void draw_menu(const std::string& prompt, const std::string& status, const ClientRec& client,
               Date today, int chosen) {
    clear_screen();
    print_fmt("\n\n %d/%d/%d        ", today.day, today.month, today.year);
    print_fmt("%s\n\n", prompt.c_str());
    for (int entry = 1; entry <= 7; ++entry)
        print_box(kEntryTop, kEntryLabels[entry - 1], entry == chosen);
    if (client.id != 0)
        print_fmt("The client: ' %s %s ' is connected to the system\n",
                  std::string(text_of(client.fname)).c_str(),
                  std::string(text_of(client.lname)).c_str());
    else
        print_plain("No client is connected to the system\n");
    if (!status.empty())
        print_fmt("Error: %s", status.c_str());
}

// Runs the chosen entry, or answers the error text when it is refused.
std::string dispatch(int entry, ClientRec& currclient, Date currdate) {
    bool connected = currclient.id != 0;
    switch (entry) {
    case 1:
        if (connected)
            return kLoginRefused;
        client_login(currdate, kMonthPrice, currclient);
        if (currclient.id != 0)
            return_at_login(currclient, kDayFine);
        return "";
    case 2:
        if (!connected)
            return kDisconnectRefused;
        disconnect_client(currclient);
        return "";
    case 3:
        connected ? online_search(currclient.id) : offline_search();
        return "";
    case 4:
        if (connected)
            return kOptionRefused;
        update_saved_list();
        info_message("\n\n\n Saved movie list was updated");
        return "";
    case 5:
        if (connected)
            return kOptionRefused;
        client_maintenance(kDayFine);
        return "";
    case 6:
        if (connected)
            return kMovieOptionRefused;
        movie_maintenance();
        return "";
    default: // Exit, or Esc at the menu
        journal_close();
        end_program(1);
    }
}

bool same_day(Date a, Date b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

std::string shop_hint; // said when the folder holds no data file at all

bool no_data_file_here() {
    for (const char* name : kDataFileNames)
        if (entry_exists(name))
            return false;
    return true;
}

// A data file the counter cannot use: its message, then the way out; in a
// folder without a shop, a word on how to make one once the terminal is back.
void report_file_fault(const StoreFault& fault) {
    print_plain(fault_message(fault));
    if (fault.kind == Fault::cannot_open && !shop_hint.empty() && no_data_file_here()) {
        console::flush();
        console::restore();
        std::fputs(shop_hint.c_str(), stderr);
    }
    end_program(1);
}

void show_growth(const char* message) {
    print_plain(message);
}

std::string receipt_command;  // the shop's, or empty
int64_t receipts_through = 0; // the last event whose receipt was handled

// The end of a clerk's action: its writes and events committed, then the
// receipts of its payments handed to the shop's receipt command.
void commit_action() {
    journal_commit();
    if (!receipt_command.empty())
        send_receipts(receipt_command, journal_last_events(), &receipts_through);
}

// Receipts the command failed to take since the last start, told before the
// first menu.
void report_unprinted_receipts() {
    const std::vector<std::string> notes = take_unprinted_receipts();
    if (notes.empty())
        return;
    info_screen();
    print_plain("\n\n\n Receipts that could not be printed (receipt number: why):\n");
    for (const std::string& note : notes)
        print_fmt(" %s\n", note.c_str());
    print_plain("\n Print them with: rentdesk-admin receipt NUMBER");
    press_any_key();
}

} // namespace

ClientRec no_client() {
    return TableTraits<ClientRec>::blank();
}

void disconnect_client(ClientRec& client) {
    ClientRec empty = no_client();
    empty.phone = client.phone;
    client = empty;
}

int main_menu(const std::string& prompt, const std::string& status, ClientRec client) {
    const Date cd = get_today();
    return choose_box(7, [&](int chosen) { draw_menu(prompt, status, client, cd, chosen); });
}

// Between the records of a pass over a whole table: an ending signal (the
// terminal closed, Ctrl-C, a kill) ends the program here, the action under
// way dropped whole, rather than after a pass that may take minutes.
void end_if_asked() {
    if (console::ending_signal_waiting())
        end_program(1);
}

void run_counter(const std::string& receipts, const std::string& no_shop_hint) {
    shop_hint = no_shop_hint;
    set_fault_handler(report_file_fault);
    set_growth_hook(show_growth);
    set_pass_hook(end_if_asked);
    set_log_program(RENTDESK_PROGRAM);
    // A clerk's action a crash cut short is finished first, then every
    // action goes through the journal.
    journal_recover();
    journal_open();
    receipt_command = receipts;
    set_action_boundary(commit_action);
    report_unprinted_receipts();
    std::string status;
    Date currdate = get_today();
    ClientRec currclient = no_client();
    update_saved_list();
    while (true) {
        clear_screen();
        int entry = main_menu(kPrompt, status, currclient);
        status.clear();
        if (entry >= 1 && entry <= 6) {
            // A run that passes midnight works on the new day from here on,
            // and releases the holds that ran out overnight.
            Date today = get_today();
            if (!same_day(today, currdate)) {
                currdate = today;
                update_saved_list();
            }
        }
        status = dispatch(entry, currclient, currdate);
    }
}

// Client login with the renewal of a subscription that ran out.
#include "clients/login.h"

#include "shell/screen.h"
#include "store/clients.h"
#include "store/datafiles.h"
#include "store/dates.h"
#include "store/daylog.h"

namespace {

// Months of a renewal: up to a hundred years, so the total always fits.
constexpr int32_t kMaxMonths = 1200;

bool renewal_months(int32_t months) {
    return months >= 0 && months <= kMaxMonths;
}

// A subscription lets the client in through its last day.
bool subscription_valid(const ClientRec& c, Date today) {
    return !date_before(subscription_end(c), today);
}

// Reads the id typed at the login screen; ids below 1 are never found.
int32_t ask_client_slot(const DataFile& users) {
    clear_screen();
    print_plain(kClientLoginBanner);
    int32_t id = ask_number("\n Insert ID number \n", any_number);
    return id >= 1 ? client_find(users, id) : -1;
}

enum class Renewal { paid, refused, start_over };

// Sells a new subscription with the unpaid fine; on payment writes the
// client back with fine 0 and the months bought from today.
Renewal renew(DataFile& users, int32_t slot, ClientRec& c, int32_t price) {
    info_screen();
    print_plain("\n\n\n The client has to pay for new subscription.\n"
                "Insert number of months for new subscription!\n");
    int32_t newsub =
        read_int_until("\nInsert number of months for new subscription!\n", renewal_months);
    print_fmt("\n The client have to pay penalty in sum of: %d", c.fine);
    long long total = static_cast<long long>(price) * newsub + c.fine;
    print_fmt("\n The total sum combine the fine and the new subscription: %lld", total);
    press_any_key();
    int paid = yes_no_dialog(" Do the client paid Y/N");
    if (paid == kCancel)
        return Renewal::start_over;
    if (paid == kNo) {
        info_screen();
        print_plain("\n\n\n Client did not paid");
        print_plain("\n The Client can't be logged into the system");
        press_any_key();
        return Renewal::refused;
    }
    const int32_t fine = c.fine;
    c.fine = 0;
    c.months = newsub;
    c.subdate = get_today();
    client_write(users, slot, c);
    log_subscription(c, newsub, fine, total);
    info_screen();
    print_plain("\n\n\n Client paid!");
    print_plain("\n The user is now logged into the system");
    press_any_key();
    return Renewal::paid;
}

} // namespace

void client_login(Date today, int32_t price, ClientRec& connected) {
    DataFile users = open_table<ClientRec>();
    while (true) {
        int32_t slot = ask_client_slot(users);
        if (slot < 0) {
            if (yes_no_dialog(" ID wasn't found search again?\n Enter Y/N") == kYes)
                continue;
            break;
        }
        ClientRec c = client_read(users, slot);
        if (subscription_valid(c, today)) {
            info_screen();
            print_plain("\n\n\n The member subscription is ok");
            print_plain("\n The user is now logged into the system");
            read_key();
            connected = c;
            break;
        }
        Renewal outcome = renew(users, slot, c, price);
        if (outcome == Renewal::start_over)
            continue;
        if (outcome == Renewal::paid)
            connected = c;
        break;
    }
    users.close();
}

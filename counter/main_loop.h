// The counter's main loop: start-up, the main menu with its highlight and
// guards, and the connected client, which the loop owns for the whole run.
#pragma once

#include "store/records.h"

#include <string>

// The connected client's record when nobody is connected: id 0, texts "x",
// subscription date 1999-01-01, no months, no fine, phone 0.
ClientRec no_client();

// Empties the connected-client record: id 0, names and address "x",
// subscription 1999-1-1, months and fine 0; phone stays as it was.
void disconnect_client(ClientRec& client);

// Draws the main menu under prompt, with the status text (if any) as an error
// line and the client line of client, and lets the clerk move the highlight.
// Answers the chosen entry 1 to 7, or -1 for Esc.
int main_menu(const std::string& prompt, const std::string& status, ClientRec client);

// Runs the counter until Exit or Esc, which end the program with status 1.
// Each payment's receipt goes to receipt_command when one is given. When the
// folder holds none of the data files, the open failure is followed, once
// the terminal is back, by no_shop_hint on standard error.
[[noreturn]] void run_counter(const std::string& receipt_command = "",
                              const std::string& no_shop_hint = "");

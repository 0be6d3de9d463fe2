// Receipts: every payment of the day log (a subscription sold at login, the
// fines a client pays on leaving) has one, numbered with its event's
// number: plain text 40 columns wide, a receipt printer's width, with the
// date and time, the client's id and name, what was paid for and the
// amount. The counter hands each payment's receipt to the shop's receipt
// command after the action's commit; one that fails is noted in
// receipts-unprinted.txt for the next start to report.
#pragma once

#include "store/logbook.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kUnprintedFile = "receipts-unprinted.txt";
inline constexpr int kReceiptWidth = 40;

// Whether an event is a payment: a subscription, or a removal that
// collected a fine.
bool is_payment(const LogLine& line);
// The receipt of a payment event, lines ending in '\n'.
std::string receipt_text(const LogLine& line);

// Hands the receipts of the payments among lines (numbered event lines)
// numbered above *after to command, and moves *after to the last of the
// lines; a receipt it fails to take is noted, with why, in the unprinted
// file of the data folder.
void send_receipts(const std::string& command, const std::vector<std::string>& lines,
                   int64_t* after);
// The receipts noted as not printed, one line each ("number: why"), and
// the note removed; empty when there were none.
std::vector<std::string> take_unprinted_receipts();

// Taking a rented disk back at the counter: the clerk rates the condition of
// the disk, and the late fine joins what the client already owes. Shared by
// the return at login and the removal of a client.
#pragma once

#include <cstdint>
#include <string_view>

// The question that asks for the condition of a returned disk.
inline constexpr std::string_view kDiskStatusQuestion =
    "\n What is the status of the disk(insert number from 1-10)\n";

// Shows first_question on an information screen and reads the disk status;
// anything but a number from 1 to 10 brings the "Insert again" screen and
// is asked again. Answers the status.
int32_t ask_disk_status(std::string_view first_question);

// owed plus late, held at the limits of a 32-bit amount instead of wrapping.
int32_t add_fine(int32_t owed, int32_t late);

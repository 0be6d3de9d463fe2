// Rating a disk at the counter: the clerk gives its condition from 1 to 10
// (when a rented disk comes back, and for a new copy), and the late fine of
// a returned disk joins what the client already owes.
#pragma once

#include <cstdint>
#include <string_view>

// The question that asks for the condition of a returned disk.
inline constexpr std::string_view kDiskStatusQuestion =
    "\n What is the status of the disk(insert number from 1-10)\n";

// Reads a disk status under the question already shown; anything but a
// number from 1 to 10 (an empty line, text, a number out of range) brings the
// "Insert again" screen and is asked again. Answers the status and drops the
// rest of its line.
int32_t read_disk_status();

// Shows first_question on an information screen and reads the disk status
// as read_disk_status does.
int32_t ask_disk_status(std::string_view first_question);

// owed plus late, held at the limits of a 32-bit amount instead of wrapping.
int32_t add_fine(int32_t owed, int32_t late);

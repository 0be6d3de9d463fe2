// What the two fuzz targets share: a scratch folder of their own per process,
// standard output captured in a file there (the program's screens then cost
// little, and its last words can be shown with a finding), and the one way a
// target reports a finding.
#pragma once

#include <cstddef>
#include <string>

// The process's own empty folder under $TMPDIR (else /dev/shm, else /tmp),
// made on the first call and removed with its files when the process exits.
// The path ends in '/'.
const std::string& work_folder();

// Sends standard output to the file screen.out in the work folder from now on.
void capture_stdout();
// Empties the captured output; a target calls it at the start of every run.
void reset_captured_output();
// The last max_bytes bytes written to standard output since the last reset
// (all of them when fewer).
std::string captured_tail(std::size_t max_bytes);

// Prints "FINDING: " and the printf-style message, then the tail of the
// captured output, to standard error, and aborts (libFuzzer then keeps the
// input that led here).
[[noreturn]] void finding(const char* format, ...) __attribute__((format(printf, 1, 2)));

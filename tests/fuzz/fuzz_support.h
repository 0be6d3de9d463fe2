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

// Makes the process work in the work folder. The file and folder arguments
// of libFuzzer's command line (inputs, corpus folders, -artifact_prefix,
// -exact_artifact_path, -dict) are first made absolute, and a missing
// -artifact_prefix is set to the starting folder, so findings and new inputs
// still land where the caller meant. Call from LLVMFuzzerInitialize. (libFuzzer
// forbids changing the program's own name: with -jobs or -fork, start the
// target by its absolute path.)
void enter_work_folder(int* argc, char*** argv);

// Sends standard output to the file screen.out in the work folder from now on;
// with RENTDESK_FUZZ_SHOW set, leaves it where it is, to watch the screens of
// an input (then nothing is captured).
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

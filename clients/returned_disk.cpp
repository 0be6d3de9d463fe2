// Rating a returned disk and adding its late fine.
#include "clients/returned_disk.h"

#include "shell/screen.h"

#include <cstdint>

int32_t read_disk_status() {
    int32_t status = 0;
    // A line that is no number is dropped with the rest of the line, so the
    // question always waits for a new answer.
    while (!read_int(status) || status < 1 || status > 10) {
        info_screen();
        print_plain("\n\n\n Insert again a number from 1 to 10\n");
        print_plain(kDiskStatusQuestion);
        discard_input();
    }
    discard_input();
    return status;
}

int32_t ask_disk_status(std::string_view first_question) {
    info_screen();
    print_plain(first_question);
    discard_input();
    return read_disk_status();
}

int32_t add_fine(int32_t owed, int32_t late) {
    int64_t sum = static_cast<int64_t>(owed) + late;
    if (sum > INT32_MAX)
        return INT32_MAX;
    if (sum < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(sum);
}

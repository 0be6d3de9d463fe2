// The crash tests' power failure and failing disk, as wrappers around the
// system's own write points of the file seam.
#include "tests/crash_point.h"

#include "store/datafile.h"
#include "store/os.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

namespace {

// (The state is reached through functions: the tests arm it before main runs.)
long crash_countdown = -1;
std::string& failing_sync() {
    static std::string path;
    return path;
}
std::string& failing_write() {
    static std::string path;
    return path;
}
// The content each file written since its last sync had then (no value: the
// file did not exist).
std::map<std::string, std::optional<std::string>>& synced_images() {
    static std::map<std::string, std::optional<std::string>> images;
    return images;
}

std::optional<std::string> whole_file(const std::string& path) {
    os::Refusal refusal;
    std::string why;
    os::Handle h = os::open_existing(path, false, &refusal, &why);
    if (h == os::kNone)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(std::max<int64_t>(os::size(h, &why), 0)), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        long n =
            os::read_at(h, static_cast<int64_t>(got), bytes.data() + got, bytes.size() - got, &why);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    os::close(h);
    return bytes;
}

[[noreturn]] void power_failure() {
    std::string why;
    for (const auto& [path, image] : synced_images()) {
        if (!image) {
            remove_entry(path);
            continue;
        }
        os::Handle h = os::create_fresh(path, os::kNone, &why);
        os::write_at(h, 0, image->data(), image->size(), &why);
        os::sync(h, &why);
        os::close(h);
    }
    std::_Exit(86);
}

// Counts one write point about to change path ("" for a sync, which changes
// no content).
void write_point(const std::string& path) {
    if (crash_countdown < 0)
        return;
    if (crash_countdown-- == 0)
        power_failure();
    if (!path.empty() && !synced_images().count(path))
        synced_images()[path] = whole_file(path);
}

bool failure(std::string* why) {
    *why = "Input/output error";
    return false;
}

WritePoints wrapped() {
    WritePoints w;
    w.create = [](const std::string& path, os::Handle like, std::string* why) {
        write_point(path);
        return system_write_points().create(path, like, why);
    };
    w.write_at = [](os::Handle h, const std::string& path, int64_t offset, const void* buf,
                    std::size_t len, std::string* why) -> long {
        write_point(path);
        if (path != failing_write())
            return system_write_points().write_at(h, path, offset, buf, len, why);
        system_write_points().write_at(h, path, offset, buf, len / 2, why); // torn
        return failure(why), -1;
    };
    w.sync = [](os::Handle h, const std::string& path, std::string* why) {
        write_point("");
        if (!system_write_points().sync(h, path, why))
            return false;
        if (path == failing_sync())
            return failure(why);
        if (crash_countdown >= 0)
            synced_images().erase(path);
        return true;
    };
    w.truncate = [](os::Handle h, const std::string& path, int64_t length, std::string* why) {
        write_point(path);
        return system_write_points().truncate(h, path, length, why);
    };
    w.replace = [](const std::string& from, const std::string& to, std::string* why) {
        write_point(to);
        if (!system_write_points().replace(from, to, why))
            return false;
        if (crash_countdown >= 0) { // the new name is durable with what was synced of from
            auto image = synced_images().find(from);
            synced_images().erase(to);
            if (image != synced_images().end()) {
                synced_images()[to] = image->second;
                synced_images().erase(image);
            }
        }
        return true;
    };
    w.sync_folder = [](const std::string& folder, std::string* why) {
        write_point("");
        return system_write_points().sync_folder(folder, why);
    };
    return w;
}

} // namespace

void inject_crash_after(long writes) {
    crash_countdown = writes;
    set_write_points(wrapped());
}

void inject_failing_disk(const std::string& sync_of, const std::string& write_to) {
    failing_sync() = sync_of;
    failing_write() = write_to;
    set_write_points(wrapped());
}

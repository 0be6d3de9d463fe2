// DataFile over the platform calls: link refusal, held writes, whole-record
// transfers, the registry of open files, and the crash point of the crash
// tests, which drops what a power failure would lose.
#include "store/datafile.h"

#include "store/fault.h"
#include "store/journal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace {

DataFile* open_files = nullptr; // head of the registry of open data files

// The crash tests' power failure: after crash_countdown more write points
// (writes, syncs, truncations, renames, creations) the process ends at the
// next one, and every file written since its last sync is first put back as
// it was synced (or removed when it did not exist then).
long crash_countdown = -1;
std::map<std::string, std::optional<std::string>> synced_images;

// The failing disk of the same tests: every sync of one file fails, or every
// write to one file stores half of what it was given, then fails. (Reached
// through functions: the tests arm them before main runs.)
std::string& failing_sync() {
    static std::string path;
    return path;
}
std::string& failing_write() {
    static std::string path;
    return path;
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

void power_failure() {
    std::string why;
    for (const auto& [path, image] : synced_images) {
        if (!image) {
            os::remove(path);
            continue;
        }
        os::Handle h = os::create_fresh(path, os::kNone, &why);
        os::write_at(h, 0, image->data(), image->size(), &why);
        os::sync(h, &why);
        os::close(h);
    }
    os::die(86);
}

// Counts one write point about to change path (nothing when "" : a sync).
void write_point(const std::string& path) {
    if (crash_countdown < 0)
        return;
    if (crash_countdown-- == 0)
        power_failure();
    if (!path.empty() && !synced_images.count(path))
        synced_images[path] = whole_file(path);
}

void synced(const std::string& path) {
    if (crash_countdown >= 0)
        synced_images.erase(path);
}

} // namespace

// The crash tests arm these through the declarations in tests/crash_point.h.
void inject_crash_after(long writes) {
    crash_countdown = writes;
}

void inject_failing_disk(const std::string& sync_of, const std::string& write_to) {
    failing_sync() = sync_of;
    failing_write() = write_to;
}

std::optional<DataFile> DataFile::open(const std::string& path, Mode mode, const DataFile* like) {
    std::string why;
    if (mode == Mode::Create) {
        write_point(path);
        os::Handle h = os::create_fresh(path, like ? like->handle_ : os::kNone, &why);
        if (h == os::kNone)
            return std::nullopt;
        DataFile file(h, path, false, 0);
        file.dirty_ = true; // its creation is a change worth syncing
        return file;
    }
    const bool held = mode == Mode::Update && journal_is_open();
    const std::string actual = held ? journal_current_name(path) : path;
    os::Refusal refusal;
    os::Handle h = os::open_existing(actual, mode != Mode::Read, &refusal, &why);
    if (refusal == os::Refusal::link)
        report_fault(Fault::damaged, path, "is a link, which the program does not follow");
    if (refusal == os::Refusal::not_regular)
        report_fault(Fault::damaged, path, "is not a regular file");
    if (h == os::kNone)
        return std::nullopt;
    const int64_t size = os::size(h, &why);
    if (size < 0) {
        os::close(h);
        report_fault(Fault::damaged, path, "cannot be measured: " + why);
    }
    DataFile file(h, path, held, size);
    file.mappable_ = mode != Mode::Direct; // the journal's own files are written, not probed
    file.update_ = mode != Mode::Read;
    return file;
}

DataFile::DataFile(os::Handle handle, std::string path, bool held, int64_t size)
    : handle_(handle), size_(size), held_(held), path_(std::move(path)) {
    link();
}

DataFile::DataFile(DataFile&& other) noexcept
    : handle_(other.handle_), size_(other.size_), view_(other.view_), walks_(other.walks_),
      mappable_(other.mappable_), writable_(other.writable_), dirty_(other.dirty_),
      held_(other.held_), update_(other.update_), writes_(other.writes_),
      path_(std::move(other.path_)) {
    other.unlink();
    other.handle_ = os::kNone;
    other.view_ = other.writable_ = os::View{};
    other.dirty_ = false;
    if (handle_ != os::kNone)
        link();
}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
    if (this != &other) {
        close();
        other.unlink();
        handle_ = other.handle_;
        size_ = other.size_;
        view_ = other.view_;
        walks_ = other.walks_;
        mappable_ = other.mappable_;
        writable_ = other.writable_;
        other.view_ = other.writable_ = os::View{};
        dirty_ = other.dirty_;
        held_ = other.held_;
        update_ = other.update_;
        writes_ = other.writes_;
        path_ = std::move(other.path_);
        other.handle_ = os::kNone;
        other.dirty_ = false;
        if (handle_ != os::kNone)
            link();
    }
    return *this;
}

DataFile::~DataFile() {
    try {
        close();
    } catch (const StoreFault&) { // a failed sync of a file left behind while unwinding
    }
}

void DataFile::link() {
    prev_ = nullptr;
    next_ = open_files;
    if (open_files)
        open_files->prev_ = this;
    open_files = this;
}

void DataFile::unlink() {
    if (handle_ == os::kNone)
        return;
    if (prev_)
        prev_->next_ = next_;
    else if (open_files == this)
        open_files = next_;
    if (next_)
        next_->prev_ = prev_;
    prev_ = next_ = nullptr;
}

void DataFile::read_at(int64_t offset, void* buf, std::size_t len) const {
    auto* p = static_cast<char*>(buf);
    std::string why;
    const bool mapped =
        view_.data && offset >= 0 && offset + static_cast<int64_t>(len) <= view_.length;
    if (mapped)
        std::memcpy(p, view_.data + offset, len);
    for (std::size_t done = mapped ? len : 0; done < len;) {
        long got =
            os::read_at(handle_, offset + static_cast<int64_t>(done), p + done, len - done, &why);
        if (got < 0)
            report_fault(Fault::damaged, path_, "cannot be read: " + why);
        if (got == 0)
            report_fault(Fault::damaged, path_, "ends in the middle of a record");
        done += static_cast<std::size_t>(got);
    }
    if (held_)
        journal_overlay(path_, offset, buf, len);
}

void DataFile::write_at(int64_t offset, const void* buf, std::size_t len) {
    ++writes_;
    if (held_) {
        journal_hold(path_, offset, buf, len);
        return;
    }
    write_point(path_);
    dirty_ = true;
    auto* p = static_cast<const char*>(buf);
    std::string why;
    for (std::size_t done = 0; done < len;) {
        const bool torn = path_ == failing_write(); // half a record stored, then a failure
        long put = torn && done > 0 ? -1
                                    : os::write_at(handle_, offset + static_cast<int64_t>(done),
                                                   p + done, torn ? len / 2 : len - done, &why);
        if (torn && done > 0)
            why = "Input/output error";
        if (put <= 0)
            report_fault(Fault::damaged, path_, "cannot be written: " + why);
        done += static_cast<std::size_t>(put);
    }
    size_ = std::max(size_, offset + static_cast<int64_t>(len));
}

const char* DataFile::map_for_reading(int64_t len, bool soon) const {
    if (!view_.data && mappable_ && (soon || ++walks_ > 4))
        view_ = os::map(handle_, size_);
    if (!view_.data || len > view_.length || (held_ && journal_holds(path_)))
        return nullptr;
    return view_.data;
}

char* DataFile::map_for_writing() {
    if (!writable_.data)
        writable_ = os::map_for_writing(handle_, size_);
    dirty_ = dirty_ || writable_.data;
    return const_cast<char*>(writable_.data);
}

void DataFile::sync() {
    if (handle_ == os::kNone || !dirty_)
        return;
    write_point("");
    std::string why;
    dirty_ = false; // reported once: a file left dirty would fail again on the way out
    if (!os::flush(writable_, &why) || !os::sync(handle_, &why) ||
        (path_ == failing_sync() && (why = "Input/output error", true)))
        report_fault(Fault::damaged, path_, "cannot be synced: " + why);
    synced(path_);
}

void DataFile::truncate(int64_t length) {
    write_point(path_);
    std::string why;
    dirty_ = true;
    os::unmap(view_); // never read past the new end through the old mapping
    if (!os::truncate(handle_, length, &why))
        report_fault(Fault::damaged, path_, "cannot be cut to length: " + why);
    size_ = length;
}

void DataFile::close() {
    if (handle_ == os::kNone)
        return;
    os::Handle h = handle_;
    bool written = dirty_;
    unlink();
    handle_ = os::kNone;
    dirty_ = false;
    std::string why;
    bool ok = !written || (os::flush(writable_, &why) && os::sync(h, &why) &&
                           (path_ != failing_sync() || (why = "Input/output error", false)));
    os::unmap(view_);
    os::unmap(writable_);
    os::close(h);
    if (written && ok)
        synced(path_);
    if (!ok)
        report_fault(Fault::damaged, path_, "cannot be synced: " + why);
}

void DataFile::close_all() {
    while (open_files)
        open_files->close();
}

std::vector<DataFile*> DataFile::let_go(const std::string& path) {
    std::vector<DataFile*> files;
    if (!os::kOpenFilesBlockReplace)
        return files;
    for (DataFile* f = open_files; f; f = f->next_)
        if (f->path_ == path)
            files.push_back(f);
    for (DataFile* f : files) {
        f->sync();
        os::unmap(f->view_);
        os::unmap(f->writable_);
        os::close(f->handle_);
    }
    return files;
}

void DataFile::take_back(const std::vector<DataFile*>& files) {
    std::string why, lost;
    for (DataFile* f : files) {
        os::Refusal refusal;
        os::Handle h = os::open_existing(f->path_, f->update_, &refusal, &why);
        if (h == os::kNone) { // the handle is gone: out of the registry, empty
            f->unlink();
            f->handle_ = os::kNone;
            lost = f->path_;
            continue;
        }
        f->handle_ = h;
        f->size_ = std::max<int64_t>(os::size(h, &why), 0);
        f->walks_ = 0;
    }
    if (!lost.empty())
        report_fault(Fault::damaged, lost, "cannot be opened again: " + why);
}

void replace_file(const std::string& from, const std::string& to) {
    write_point(to);
    std::string why;
    const std::vector<DataFile*> open = DataFile::let_go(to);
    const bool replaced = os::replace(from, to, &why);
    DataFile::take_back(open); // on the old file when the rename failed
    if (!replaced)
        report_fault(Fault::damaged, to, "cannot be replaced: " + why);
    if (crash_countdown >= 0) { // the new name is durable with what was synced of from
        auto image = synced_images.find(from);
        synced_images.erase(to);
        if (image != synced_images.end()) {
            synced_images[to] = image->second;
            synced_images.erase(image);
        }
    }
}

void sync_folder(const std::string& folder) {
    write_point("");
    std::string why;
    if (!os::sync_folder(folder, &why))
        report_fault(Fault::damaged, folder.empty() ? "." : folder, "cannot be synced: " + why);
}

bool entry_exists(const std::string& path) {
    return os::exists(path);
}

bool remove_entry(const std::string& path) {
    return os::remove(path);
}

int make_folder(const std::string& path, std::string* why) {
    return os::make_folder(path, why);
}

bool remove_folder(const std::string& path, std::string* why) {
    return os::remove_folder(path, why);
}

bool folder_entries(const std::string& folder, std::vector<std::string>* names, std::string* why) {
    return os::list_folder(folder, names, why);
}

bool rename_unless_taken(const std::string& from, const std::string& to, std::string* why) {
    return os::rename_unless_taken(from, to, why);
}

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string current_folder() {
    return os::current_folder();
}

bool enter_folder(const std::string& path, bool create, std::string* why) {
    return os::enter_folder(path, create, why);
}

void binary_output() {
    os::binary_output();
}

void prepare_process() {
    os::prepare_process();
}

FolderLock::Outcome FolderLock::take(const std::string& folder, std::optional<FolderLock>& lock,
                                     std::string* why) {
    os::Handle h = os::kNone;
    int rc = os::lock_folder(folder, &h, why);
    if (rc == 1)
        lock.emplace(FolderLock(h));
    return rc == 1 ? Outcome::taken : rc == 0 ? Outcome::busy : Outcome::failed;
}

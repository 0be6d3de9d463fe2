// DataFile over the platform calls: link refusal, held writes, whole-record
// transfers, the readers of walks and passes, and the registry of open
// files; every change
// to a file passes through the write points.
#include "store/datafile.h"

#include "store/fault.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

DataFile* open_files = nullptr; // head of the registry of open data files
std::string lost_since_closed;  // a file closed after a page of its mapping was lost

constexpr WritePoints system_points{
    [](const std::string& path, os::Handle like, std::string* why) {
        return os::create_fresh(path, like, why);
    },
    [](os::Handle h, const std::string&, int64_t offset, const void* buf, std::size_t len,
       std::string* why) { return os::write_at(h, offset, buf, len, why); },
    [](os::Handle h, const std::string&, std::string* why) { return os::sync(h, why); },
    [](os::Handle h, const std::string&, int64_t length, std::string* why) {
        return os::truncate(h, length, why);
    },
    os::replace,
    os::sync_folder,
};
WritePoints points = system_points; // constant: set before any test arms its own

} // namespace

const WritePoints& system_write_points() {
    return system_points;
}

void set_write_points(const WritePoints& replacement) {
    points = replacement;
}

std::optional<DataFile> DataFile::open(const std::string& path, Mode mode, const DataFile* like) {
    std::string why;
    if (mode == Mode::Create) {
        os::Handle h = points.create(path, like ? like->handle_ : os::kNone, &why);
        if (h == os::kNone)
            return std::nullopt;
        DataFile file(h, path, 0);
        file.dirty_ = true; // its creation is a change worth syncing
        file.update_ = true;
        return file;
    }
    os::Refusal refusal;
    os::Handle h = os::open_existing(path, mode == Mode::Update, &refusal, &why);
    if (refusal == os::Refusal::link)
        report_fault(Fault::damaged, path, "is a link, which the program does not follow");
    if (refusal == os::Refusal::not_regular)
        report_fault(Fault::damaged, path, "is not a regular file");
    if (refusal == os::Refusal::system)
        report_fault(Fault::cannot_open, path, "cannot be opened: " + why);
    if (h == os::kNone)
        return std::nullopt;
    const int64_t size = os::size(h, &why);
    if (size < 0) {
        os::close(h);
        report_fault(Fault::damaged, path, "cannot be measured: " + why);
    }
    DataFile file(h, path, size);
    file.update_ = mode == Mode::Update;
    return file;
}

std::optional<DataFile> DataFile::open_if_regular(const std::string& path, Mode mode) {
    os::Refusal refusal;
    std::string why;
    os::Handle h = os::open_existing(path, mode == Mode::Update, &refusal, &why);
    const int64_t size = h == os::kNone ? -1 : os::size(h, &why);
    if (size < 0) {
        os::close(h);
        return std::nullopt;
    }
    DataFile file(h, path, size);
    file.update_ = mode == Mode::Update;
    return file;
}

DataFile::DataFile(os::Handle handle, std::string path, int64_t size)
    : handle_(handle), size_(size), path_(std::move(path)) {
    link();
}

DataFile::DataFile(DataFile&& other) noexcept {
    *this = std::move(other);
}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
    if (this == &other)
        return *this;
    close();
    other.unlink();
    handle_ = std::exchange(other.handle_, os::kNone);
    size_ = other.size_;
    view_ = std::exchange(other.view_, os::View{});
    walks_ = other.walks_;
    dirty_ = std::exchange(other.dirty_, false);
    update_ = other.update_;
    held_ = other.held_;
    writes_ = other.writes_;
    path_ = std::move(other.path_);
    if (handle_ != os::kNone)
        link();
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

bool DataFile::is_at(const std::string& path) const {
    os::Refusal refusal;
    std::string why;
    os::Handle there = os::open_existing(path, false, &refusal, &why);
    if (there == os::kNone)
        return false;
    os::FileId named, ours;
    const bool same =
        os::file_id(there, &named, &why) && os::file_id(handle_, &ours, &why) && named == ours;
    os::close(there);
    return same;
}

void DataFile::read_at(int64_t offset, void* buf, std::size_t len) const {
    auto* p = static_cast<char*>(buf);
    std::string why;
    const bool mapped =
        view_.data && offset >= 0 && offset + static_cast<int64_t>(len) <= view_.length;
    if (mapped) {
        std::memcpy(p, view_.data + offset, len);
        check_views();
    }
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
        held_->overlay(offset, buf, len);
}

void DataFile::map_for_reading() const {
    view_ = os::map(handle_, size_);
}

void DataFile::report_unreadable(int64_t offset) const {
    report_fault(Fault::damaged, path_,
                 "cannot be read at byte " + std::to_string(offset) + ": a record too long");
}

void DataFile::unmap(os::View& view) const {
    if (view.data && view.data == os::lost_view())
        lost_since_closed = path_; // reported by name at the next check
    os::unmap(view);
}

void DataFile::report_lost_view() {
    const char* lost = os::lost_view();
    std::string path = lost_since_closed;
    for (const DataFile* f = open_files; f; f = f->next_)
        if (lost && f->view_.data == lost)
            path = f->path_;
    lost_since_closed.clear();
    os::forget_lost_view();
    report_fault(Fault::damaged, path.empty() ? "(a data file)" : path,
                 "changed under the program: it was cut short, or a part of it could not be "
                 "read");
}

const char* DataFile::chunk(int64_t offset, std::size_t len, std::string& scratch) const {
    check_views(); // what the pass read of the chunk before
    if (!view_.data)
        map_for_reading();
    const char* base = unheld_view();
    if (base && offset + static_cast<int64_t>(len) <= view_.length)
        return base + offset;
    scratch.resize(len);
    read_at(offset, scratch.data(), len);
    return scratch.data();
}

void DataFile::write_at(int64_t offset, const void* buf, std::size_t len) {
    ++writes_;
    if (held_) {
        held_->hold(offset, buf, len);
        return;
    }
    dirty_ = true;
    auto* p = static_cast<const char*>(buf);
    std::string why;
    for (std::size_t done = 0; done < len;) {
        long put = points.write_at(handle_, path_, offset + static_cast<int64_t>(done), p + done,
                                   len - done, &why);
        if (put <= 0)
            report_fault(Fault::damaged, path_, "cannot be written: " + why);
        done += static_cast<std::size_t>(put);
    }
    size_ = std::max(size_, offset + static_cast<int64_t>(len));
}

void DataFile::sync() {
    if (handle_ == os::kNone || !dirty_)
        return;
    std::string why;
    dirty_ = false; // reported once: a file left dirty would fail again on the way out
    if (!points.sync(handle_, path_, &why))
        report_fault(Fault::damaged, path_, "cannot be synced: " + why);
}

void DataFile::sync_all() {
    dirty_ = true;
    sync();
}

void DataFile::truncate(int64_t length) {
    std::string why;
    dirty_ = true;
    ++writes_;
    unmap(view_); // never read past the new end through the old mapping
    if (!points.truncate(handle_, path_, length, &why))
        report_fault(Fault::damaged, path_, "cannot be cut to length: " + why);
    size_ = length;
}

void DataFile::close() {
    if (handle_ == os::kNone)
        return;
    std::string why;
    const bool ok = !dirty_ || points.sync(handle_, path_, &why);
    unlink();
    dirty_ = false;
    unmap(view_);
    os::close(std::exchange(handle_, os::kNone));
    if (!ok)
        report_fault(Fault::damaged, path_, "cannot be synced: " + why);
}

void DataFile::close_unsynced() {
    dirty_ = false;
    close();
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
        f->unmap(f->view_);
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
    std::string why;
    const std::vector<DataFile*> open = DataFile::let_go(to);
    const bool replaced = points.replace(from, to, &why);
    DataFile::take_back(open); // on the old file when the rename failed
    if (!replaced)
        report_fault(Fault::damaged, to, "cannot be replaced: " + why);
}

void sync_folder(const std::string& folder) {
    std::string why;
    if (!points.sync_folder(folder, &why))
        report_fault(Fault::damaged, folder.empty() ? "." : folder, "cannot be synced: " + why);
}

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

FolderLock::Outcome FolderLock::take(std::optional<FolderLock>& lock, std::string* why) {
    os::Handle h = os::kNone;
    int rc = os::lock_folder(&h, why);
    if (rc == 1)
        lock.emplace(FolderLock(h));
    return rc == 1 ? Outcome::taken : rc == 0 ? Outcome::busy : Outcome::failed;
}

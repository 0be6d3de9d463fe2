// Windows version of the platform calls behind the file seam: handles opened
// on wide-character paths without following links or junctions, positioned
// ReadFile/WriteFile, FlushFileBuffers, MoveFileExW for the rename of a grown
// table, and LockFileEx on a lock file of the data folder.
#include "store/datafile.h"
#include "store/os.h"

#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace os {

namespace {

// Locks stand on one byte far past the end of the file they are taken on,
// so they never stand in the way of reading or writing its bytes.
constexpr DWORD kLockOffsetHigh = 0x40000000;

constexpr const wchar_t* kLockFile = L"rentdesk.lock";

HANDLE handle_of(Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

Handle handle_from(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? kNone : reinterpret_cast<Handle>(h);
}

std::wstring wide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// The system's words for error code, without the closing period and line end.
std::string words_for(DWORD code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"";
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                                message.back() == L'.' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(code) : narrow(message);
}

bool failed(std::string* why, DWORD code = GetLastError()) {
    if (why)
        *why = words_for(code);
    return false;
}

OVERLAPPED at_offset(int64_t offset) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return ov;
}

bool is_separator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// Every handle shares reading, writing and deleting, so that a grown table
// can be renamed into place while a handle on it is still open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE open_file(const std::wstring& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The old table's access rights (its list of who may do what, inherited or
// set on it alone) on the new file, and its owner and group where the
// process may set them.
void copy_access_rights(HANDLE from, HANDLE to) {
    PACL dacl = nullptr;
    PSID owner = nullptr, group = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
    if (GetSecurityInfo(from, SE_FILE_OBJECT, what, &owner, &group, &dacl, nullptr, &sd) !=
        ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd, &control, &revision);
    const SECURITY_INFORMATION inheritance = (control & SE_DACL_PROTECTED)
                                                 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION;
    SetSecurityInfo(to, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inheritance, nullptr, nullptr,
                    dacl, nullptr);
    SetSecurityInfo(to, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                    owner, group, nullptr, nullptr);
    LocalFree(sd);
}

// Opens folder itself, for syncing the names in it.
HANDLE open_folder(const std::string& folder) {
    return CreateFileW(folder.empty() ? L"." : wide(folder).c_str(), GENERIC_READ | GENERIC_WRITE,
                       kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

Handle open_existing(const std::string& path, bool update, Refusal* refusal, std::string* why) {
    const std::wstring name = wide(path);
    const DWORD access = GENERIC_READ | (update ? GENERIC_WRITE : 0);
    HANDLE h = open_file(name, access, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        DWORD attributes = GetFileAttributesW(name.c_str());
        *refusal = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Refusal::missing
                   : attributes == INVALID_FILE_ATTRIBUTES                      ? Refusal::system
                   : (attributes & FILE_ATTRIBUTE_REPARSE_POINT)                ? Refusal::link
                   : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Refusal::not_regular
                                                             : Refusal::system;
        failed(why, code);
        return kNone;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool filtered = GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                          (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                          !IsReparseTagNameSurrogate(tag.ReparseTag);
    if (filtered) {
        // Not a link but a file a filter keeps (in the cloud, deduplicated):
        // opened through the filter, it is the file itself.
        CloseHandle(h);
        h = CreateFileW(name.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return *refusal = Refusal::system, failed(why), kNone;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !filtered)) {
        *refusal = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Refusal::link
                                                                          : Refusal::not_regular;
        CloseHandle(h);
        return kNone;
    }
    *refusal = Refusal::none;
    return handle_from(h);
}

Handle create_fresh(const std::string& path, Handle like, std::string* why) {
    if (!remove_entry(path))
        return failed(why), kNone;
    HANDLE h = open_file(wide(path), GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE)
        return failed(why), kNone;
    if (like != kNone)
        copy_access_rights(handle_of(like), h);
    return handle_from(h);
}

void close(Handle h) {
    if (h != kNone)
        CloseHandle(handle_of(h));
}

long read_at(Handle h, int64_t offset, void* buf, std::size_t len, std::string* why) {
    OVERLAPPED ov = at_offset(offset);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(len < (1u << 30) ? len : (1u << 30));
    if (!ReadFile(handle_of(h), buf, want, &got, &ov)) {
        DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF)
            return 0;
        return failed(why, code), -1;
    }
    return static_cast<long>(got);
}

long write_at(Handle h, int64_t offset, const void* buf, std::size_t len, std::string* why) {
    OVERLAPPED ov = at_offset(offset);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(len < (1u << 30) ? len : (1u << 30));
    if (!WriteFile(handle_of(h), buf, want, &put, &ov))
        return failed(why), -1;
    return static_cast<long>(put);
}

int64_t size(Handle h, std::string* why) {
    LARGE_INTEGER n{};
    if (!GetFileSizeEx(handle_of(h), &n))
        return failed(why), -1;
    return n.QuadPart;
}

bool file_id(Handle h, FileId* id, std::string* why) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle_of(h), &info))
        return failed(why);
    *id = FileId{info.dwVolumeSerialNumber,
                 (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

bool sync(Handle h, std::string* why) {
    return FlushFileBuffers(handle_of(h)) || failed(why);
}

bool truncate(Handle h, int64_t length, std::string* why) {
    LARGE_INTEGER to{};
    to.QuadPart = length;
    return (SetFilePointerEx(handle_of(h), to, nullptr, FILE_BEGIN) &&
            SetEndOfFile(handle_of(h))) ||
           failed(why);
}

bool sync_folder(const std::string& folder, std::string* why) {
    HANDLE h = open_folder(folder);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // Folders that cannot be opened for writing cannot be flushed either;
        // the file system then keeps its names in its own journal.
        return code == ERROR_ACCESS_DENIED || failed(why, code);
    }
    bool synced = FlushFileBuffers(h);
    DWORD code = GetLastError();
    CloseHandle(h);
    return synced || code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION ||
           code == ERROR_INVALID_PARAMETER || failed(why, code);
}

bool replace(const std::string& from, const std::string& to, std::string* why) {
    const std::wstring source = wide(from), target = wide(to);
    // Windows refuses to replace a file any process holds open: every handle
    // of this program on it is closed by now, but an indexer, a virus
    // scanner or a report, export or backup reading the table may hold it
    // for a while. The rename waits for them, up to a minute.
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (true) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD code = GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
             code != ERROR_LOCK_VIOLATION) ||
            GetTickCount64() >= deadline)
            return failed(why, code);
        Sleep(50);
    }
}

int lock_folder(Handle* lock, std::string* why) {
    // Held open without sharing its deletion, the lock file can be neither
    // removed nor replaced while the lock stands.
    HANDLE h =
        CreateFileW(kLockFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        failed(why, code);
        return code == ERROR_SHARING_VIOLATION ? 0 : -1;
    }
    OVERLAPPED ov = at_offset(0);
    ov.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &ov)) {
        DWORD code = GetLastError();
        failed(why, code);
        CloseHandle(h);
        return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING ? 0 : -1;
    }
    *lock = handle_from(h);
    return 1;
}

void unlock(Handle lock) {
    close(lock); // the system releases the lock with the handle
}

volatile std::sig_atomic_t view_lost = 0;

namespace {

// The views in use, for the handler of the in-page error the system raises
// when a page of a view cannot be read (a failing disk, a network share
// gone): the whole view gives way to zeroed memory at the same address, and
// is named lost. (Windows refuses to cut a file short under a view.)
struct Registered {
    const char* data;
    int64_t length;
    bool writable;
    bool replaced; // by zeroed memory, which unmap releases
};
constexpr int kMostViews = 64;
Registered views[kMostViews];
const char* volatile lost = nullptr;

LONG CALLBACK on_in_page_error(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != EXCEPTION_IN_PAGE_ERROR || r->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto* at = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
    for (Registered& v : views) {
        if (!v.data || v.replaced || at < v.data || at >= v.data + v.length)
            continue;
        UnmapViewOfFile(v.data);
        void* zeros =
            VirtualAlloc(const_cast<char*>(v.data), static_cast<SIZE_T>(v.length),
                         MEM_RESERVE | MEM_COMMIT, v.writable ? PAGE_READWRITE : PAGE_READONLY);
        if (zeros != v.data)
            return EXCEPTION_CONTINUE_SEARCH;
        v.replaced = true;
        lost = v.data;
        view_lost = 1;
        return EXCEPTION_CONTINUE_EXECUTION; // the read is made again, on zeros
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Keeps a view in the handler's list; false when the list is full (the
// file is then read without a view).
bool registered(const char* data, int64_t length, bool writable) {
    static const bool installed = AddVectoredExceptionHandler(1, on_in_page_error) != nullptr;
    for (Registered& v : views)
        if (installed && !v.data) {
            v = Registered{data, length, writable, false};
            return true;
        }
    return false;
}

View mapped(Handle h, int64_t length, bool write) {
    View view;
    if (length <= 0)
        return view;
    HANDLE mapping = CreateFileMappingW(handle_of(h), nullptr,
                                        write ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
    if (!mapping)
        return view;
    const void* p = MapViewOfFile(mapping, write ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                                  static_cast<SIZE_T>(length));
    if (p && !registered(static_cast<const char*>(p), length, write)) {
        UnmapViewOfFile(p);
        p = nullptr;
    }
    if (!p) {
        CloseHandle(mapping);
        return view;
    }
    view.data = static_cast<const char*>(p);
    view.length = length;
    view.mapping = reinterpret_cast<Handle>(mapping);
    return view;
}

} // namespace

const char* lost_view() {
    return lost;
}

void forget_lost_view() {
    lost = nullptr;
    view_lost = 0;
}

View map(Handle h, int64_t length) {
    return mapped(h, length, false);
}

void unmap(View& view) {
    // Windows refuses to replace or cut a file while a view of it stands:
    // both the view and the mapping go.
    bool replaced = false;
    for (Registered& v : views)
        if (view.data && v.data == view.data) {
            replaced = v.replaced;
            v = Registered{};
        }
    if (replaced)
        VirtualFree(const_cast<char*>(view.data), 0, MEM_RELEASE);
    else if (view.data)
        UnmapViewOfFile(view.data);
    if (view.mapping != kNone)
        CloseHandle(handle_of(view.mapping));
    view = View{};
}

bool lock_file(Handle h, bool wait) {
    OVERLAPPED ov = at_offset(0);
    ov.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(handle_of(h),
                      LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0, 1, 0,
                      &ov);
}

void unlock_file(Handle h) {
    OVERLAPPED ov = at_offset(0);
    ov.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(handle_of(h), 0, 1, 0, &ov);
}

} // namespace os

using namespace os;

bool entry_exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool remove_entry(const std::string& path) {
    const std::wstring name = wide(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return RemoveDirectoryW(name.c_str()) || !entry_exists(path); // a junction, not its target
    // A file still open somewhere keeps its name until its last handle
    // closes; moved to a name of its own first, it frees the name at once.
    static unsigned long count = 0;
    const std::wstring gone = name + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++count) + L".gone";
    if (!MoveFileExW(name.c_str(), gone.c_str(), 0))
        return DeleteFileW(name.c_str()), !entry_exists(path);
    if (!DeleteFileW(gone.c_str())) // a read-only file, say: it keeps its name
        MoveFileExW(gone.c_str(), name.c_str(), 0);
    return !entry_exists(path);
}

int make_folder(const std::string& path, std::string* why) {
    if (CreateDirectoryW(wide(path).c_str(), nullptr))
        return 1;
    DWORD code = GetLastError();
    failed(why, code);
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? 0 : -1;
}

bool remove_folder(const std::string& path, std::string* why) {
    return RemoveDirectoryW(wide(path).c_str()) || failed(why);
}

bool is_folder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool remove_folder_of(const std::string& path, const std::vector<std::string>& names,
                      std::string* why) {
    // Held open without sharing its deletion, the folder can be neither
    // renamed nor replaced (by a junction) while its files are removed.
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failed(why);
    BY_HANDLE_FILE_INFORMATION info{};
    std::vector<std::string> found;
    bool removed = GetFileInformationByHandle(h, &info) &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                   !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!removed)
        *why = "it is a link, or not a folder";
    else
        removed = folder_entries(path, &found, why);
    const std::string inside = is_separator(wide(path).back()) ? path : path + "\\";
    for (const std::string& name : found) {
        const DWORD attributes = GetFileAttributesW(wide(inside + name).c_str());
        if (removed &&
            (std::find(names.begin(), names.end(), name) == names.end() ||
             attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
            *why = "it holds " + name + ", which is not one of its files";
            removed = false;
        }
    }
    for (const std::string& name : found)
        if (removed && !DeleteFileW(wide(inside + name).c_str()))
            removed = failed(why);
    CloseHandle(h);
    return removed && remove_folder(path, why);
}

bool folder_entries(const std::string& folder, std::vector<std::string>* names, std::string* why) {
    std::wstring pattern = folder.empty() ? std::wstring(L".") : wide(folder);
    if (!is_separator(pattern.back()))
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return failed(why);
    names->clear();
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names->push_back(narrow(name));
    } while (FindNextFileW(search, &entry));
    DWORD code = GetLastError();
    FindClose(search);
    return code == ERROR_NO_MORE_FILES || failed(why, code);
}

bool rename_unless_taken(const std::string& from, const std::string& to, std::string* why) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when anything stands
    // at to; a folder moves as a whole on the same volume.
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH))
        return failed(why);
    std::size_t cut = to.find_last_of("/\\");
    return sync_folder(cut == std::string::npos ? std::string() : to.substr(0, cut + 1), why);
}

bool enter_folder(const std::string& path, bool create, std::string* why) {
    const std::wstring name = wide(path);
    if (create && !entry_exists(path)) {
        for (std::size_t at = 1; at < name.size(); ++at)
            if (is_separator(name[at]) && name[at - 1] != L':' && !is_separator(name[at - 1]))
                CreateDirectoryW(name.substr(0, at).c_str(), nullptr);
        if (!CreateDirectoryW(name.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return failed(why);
    }
    return SetCurrentDirectoryW(name.c_str()) || failed(why);
}

std::string current_folder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    n = GetCurrentDirectoryW(n, buf.data());
    buf.resize(n);
    if (buf.empty())
        return ".\\";
    return narrow(buf) + (is_separator(buf.back()) ? "" : "\\");
}

bool prepare_process() {
    // A standard handle that is missing reads and writes the null device.
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE h = GetStdHandle(which);
        if (h == nullptr || h == INVALID_HANDLE_VALUE)
            SetStdHandle(which, CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    }
    // Messages may carry UTF-8 (file names, the system's words): the
    // console shows them as such while the program runs.
    static UINT console_output_page = GetConsoleOutputCP();
    if (console_output_page != 0 && console_output_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit([] { SetConsoleOutputCP(console_output_page); });
    return true;
}

void binary_output() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::tm local_now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now); // the Windows C runtime's reentrant form
    return local;
}

bool run_command(const std::string& command, const std::string& input, int timeout_ms,
                 std::string* why) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, static_cast<DWORD>(input.size() + 4096)))
        return failed(why);
    SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE null =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = read_end;
    start.hStdOutput = null;
    start.hStdError = null;
    // Only the three standard handles go to the child, never a data file's.
    HANDLE handed[] = {read_end, null};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> list_bytes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_bytes.data());
    STARTUPINFOEXW start_ex{};
    start_ex.StartupInfo = start;
    start_ex.StartupInfo.cb = sizeof start_ex;
    const bool listed = InitializeProcThreadAttributeList(list, 1, 0, &size) &&
                        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                  handed, sizeof handed, nullptr, nullptr);
    start_ex.lpAttributeList = listed ? list : nullptr;
    std::wstring line = L"cmd.exe /d /c " + wide(command);
    PROCESS_INFORMATION child{};
    const BOOL made = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                     CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP |
                                         (listed ? EXTENDED_STARTUPINFO_PRESENT : 0),
                                     nullptr, nullptr, &start_ex.StartupInfo, &child);
    const DWORD made_error = GetLastError();
    if (listed)
        DeleteProcThreadAttributeList(list);
    CloseHandle(read_end);
    if (null != INVALID_HANDLE_VALUE)
        CloseHandle(null);
    if (!made) {
        CloseHandle(write_end);
        *why = words_for(made_error);
        return false;
    }
    DWORD written = 0; // the pipe holds the whole receipt: the write never waits
    WriteFile(write_end, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(write_end);
    const DWORD waited = WaitForSingleObject(child.hProcess, static_cast<DWORD>(timeout_ms));
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, INFINITE);
        *why = "it did not end within " + std::to_string(timeout_ms / 1000) + " seconds";
    } else if (!GetExitCodeProcess(child.hProcess, &code) || code != 0) {
        *why = "it ended with status " + std::to_string(code);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return waited == WAIT_OBJECT_0 && code == 0;
}

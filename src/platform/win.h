// Windows stand-ins on POSIX: the only layer that calls POSIX file, lock, socket and time
// functions directly. Paths are Windows path texts (drive letters through the drive table of
// the settings, or POSIX paths starting with "/"); errors are Windows error numbers kept in the
// thread's one last-error slot, which the API's error codes share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using BOOL = int;
using HANDLE = void*;
using LPVOID = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD MAX_PATH = 260;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

// ---- errors ---------------------------------------------------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_TOO_MANY_POSTS = 298;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

DWORD GetLastError();
void SetLastError(DWORD code);
// The system's own words for the last error when a system call's failure set it ("Permission
// denied", "Not a directory": one Windows number stands for several), else empty.
std::string LastErrorReason();
// errno -> Windows error number (ENOENT 2, ENOTDIR 3, EACCES 5, EEXIST 80, ENAMETOOLONG 206 ...).
DWORD ErrorFromErrno(int err);

// ---- time -----------------------------------------------------------------------------------
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(SYSTEMTIME) == 16);

void GetLocalTime(SYSTEMTIME* out);
void GetSystemTime(SYSTEMTIME* out);
void GetSystemTimeAsFileTime(FILETIME* out);
BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out);
BOOL SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out);
BOOL FileTimeToLocalFileTime(const FILETIME* in, FILETIME* out);
BOOL LocalFileTimeToFileTime(const FILETIME* in, FILETIME* out);
// FILETIME (100 ns since 1601) <-> POSIX time (ns since 1970, which 64 bits hold only up to
// 2262). FALSE with 87 when the other side cannot hold the value: a FILETIME of 2^63 or more
// or after 2262, nanoseconds before 1601.
BOOL FileTimeToUnixNanos(const FILETIME& ft, int64_t* nanos);
BOOL UnixNanosToFileTime(int64_t nanos, FILETIME* out);
// The same giving the nearest value that can be held (and setting 87) instead of failing.
int64_t FileTimeToUnixNanos(const FILETIME& ft);
FILETIME UnixNanosToFileTime(int64_t nanos);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

// errno values of the Windows C runtime, which log texts of failed "_stat" calls report: the
// same numbers on Linux, named here so that nothing above the layer needs <cerrno>.
constexpr int CRT_ENOENT = 2;
constexpr int CRT_EACCES = 13;

// ---- memory below 4 GiB ---------------------------------------------------------------------
// A zeroed, writable block of `size` bytes whose address fits 32 bits, for record fields that
// carry a 4-byte address. On x86-64 Linux mmap's MAP_32BIT asks for it; where that flag does not
// exist (other architectures) the mapping is asked at a low address as a mere hint, which the
// kernel may pass over. A block that ends above 4 GiB after all is given back: nullptr with
// ERROR_NOT_SUPPORTED, and callers report the record as one they cannot build. nullptr with
// ERROR_NOT_ENOUGH_MEMORY when the system refuses the mapping.
void* AllocLow32(size_t size);
// Frees a block of AllocLow32; nullptr is ignored.
void FreeLow32(void* block);

// ---- processes and threads ------------------------------------------------------------------
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();  // gettid()
// A number from the system's random generator (rand_s): for names nobody can foresee.
uint64_t RandomNumber();

// ---- code page and text ---------------------------------------------------------------------
// Active ANSI code page (settings, platform section "CodePage"; 932 when unset).
unsigned GetACP();
void SetACPForTesting(unsigned codePage);
BOOL IsDBCSLeadByte(BYTE b);
enum class ByteClass { Single, Lead, Trail, Illegal };
// Classifies the byte at `pos` of `text` by scanning from the start (so trail bytes are known).
ByteClass ClassifyByte(std::string_view text, size_t pos);
// Length of the longest prefix of `text` of at most `maxBytes` bytes that does not split a
// double-byte character.
size_t DbcsSafeCut(std::string_view text, size_t maxBytes);
// ANSI casing: ASCII letters only, never a trail byte.
std::string CharLower(std::string_view text);
std::string CharUpper(std::string_view text);
// The C runtime's _stricmp and _strnicmp: ASCII letters compared ignoring case, byte by byte
// (<0, 0, >0).
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t count);
// Code-page aware search for '\\' (or '/'): positions of trail bytes never match.
size_t FindLastSeparator(std::string_view path);  // npos when none
size_t FindFirstSeparator(std::string_view path, size_t from = 0);

// ---- paths ----------------------------------------------------------------------------------
// Windows path text -> POSIX path. Drive letters through the drive table; "/..." as it is.
// Empty and "." components dropped, trailing blanks and dots stripped from components, a
// component missing in its exact spelling resolved ignoring ASCII case. Fails (nullopt, last
// error 206) for paths of 260 characters or more, 3 for an unknown drive, 123 for a bad name.
std::optional<std::string> ToPosixPath(std::string_view windowsPath);
// Drive table (settings, platform section "Drive<X>"; drive C defaults to /var/lib/qvpapi/c).
std::string DriveRoot(char driveLetter);

// ---- files ----------------------------------------------------------------------------------
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
// With GENERIC_WRITE as well: every write through the handle goes, in one step, to the end the
// file has at that moment, whatever the handle's position (which moves on as if written there),
// and no other handle's locked range refuses it (it writes past every byte the file has).
constexpr DWORD FILE_APPEND_DATA = 0x4;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;
// The last component used as written: neither its trailing blanks and dots dropped nor matched
// ignoring case (the folders above it resolve as usual). For creations that must not land on a
// name that differs from theirs.
constexpr DWORD FILE_FLAG_POSIX_SEMANTICS = 0x01000000u;
// A link at the last component is opened as nothing: the open fails (1921) instead of following.
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000u;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

// CREATE_NEW is exclusive and never follows a link at the last component (80 for any name there).
HANDLE CreateFile(const char* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* sa,
                  DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// CreateFile of a path below the folder that `folder` holds open (a handle of a folder opened
// with FILE_FLAG_BACKUP_SEMANTICS on that path): the folders are not looked up again, the
// folder's own handle stands for them (a folder renamed or replaced meanwhile is the one
// opened). Names not found as written, and anything the folder handle cannot serve, take
// CreateFile's own way; results and errors are CreateFile's.
HANDLE CreateFileIn(HANDLE folder, const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                    DWORD flagsAndAttributes);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetEndOfFile(HANDLE file);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
// The size (0 for a folder) and link count of an open file, the times left unasked: once its
// times have been read, Linux stamps the file's next write with a fine-grained time, which
// costs an inode update on every append of a writer that checks its file before each write.
BOOL GetFileSizeAndLinks(HANDLE file, uint64_t* size, DWORD* links);
// The first range at or after `from` whose bytes are on disk (FSCTL_QUERY_ALLOCATED_RANGES); the
// rest of a file are holes that read as zeros. A file system that keeps no holes answers the
// whole file as one range. FALSE with 38 when no data follows `from`.
BOOL QueryAllocatedRange(HANDLE file, uint64_t from, uint64_t* start, uint64_t* end);
BOOL FlushFileBuffers(HANDLE file);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);
// Exclusive, non-blocking (33 at once on conflict) and mandatory: a read or write through another
// handle over a locked range fails with 33. Unlocking a range not locked: 158.
BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD bytesLow, DWORD bytesHigh);
BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD bytesLow, DWORD bytesHigh);
// Closes any handle of this layer (file, find, mutex, semaphore). A closed or foreign handle: 6.
BOOL CloseHandle(HANDLE handle);

// Both copies write only the source's ranges that hold data: its holes stay holes.
BOOL CopyFile(const char* from, const char* to, BOOL failIfExists);
// CopyFile between two open files (read access on one, write on the other), from the start of
// each: the bytes (no more than `limit`), the attributes and the last-write time.
BOOL CopyFileContents(HANDLE from, HANDLE to, uint64_t limit = UINT64_MAX);
BOOL MoveFile(const char* from, const char* to);  // files and directories; never replaces (183)
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
// With MOVEFILE_REPLACE_EXISTING a file takes an existing file's place in one step (rename): the
// target is never missing meanwhile. 5 when either is a folder, 32 when another handle holds
// either without sharing delete. Other flags: MoveFile.
BOOL MoveFileEx(const char* from, const char* to, DWORD flags);
// Two existing files trade names in one step: `to` holds what `from` held and `from` what `to`
// held; neither name is ever missing. 5 unless both are files, 32 when another handle holds
// either without sharing delete. Counted as a MoveFile by the failure injection.
BOOL ExchangeFiles(const char* from, const char* to);
// The same for two folders (5 unless both are folders): a whole tree is swapped in without its
// name ever being empty.
BOOL ExchangeFolders(const char* from, const char* to);
BOOL DeleteFile(const char* path);                 // refuses a file another handle holds (32)
BOOL CreateDirectory(const char* path, SECURITY_ATTRIBUTES* sa);  // 183 exists, 3 no parent
// The same with the last component taken as written (see FILE_FLAG_POSIX_SEMANTICS).
BOOL CreateDirectoryExact(const char* path);
BOOL RemoveDirectory(const char* path);                           // only empty ones (145)
DWORD GetFileAttributes(const char* path);
BOOL SetFileAttributes(const char* path, DWORD attributes);

// ---- security descriptors -------------------------------------------------------------------
constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
constexpr DWORD GROUP_SECURITY_INFORMATION = 0x2;
constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
// A self-relative descriptor made from owner, group and mode (Unix SIDs). `needed` gets the
// size; a buffer too small fails with 122.
BOOL GetFileSecurity(const char* path, DWORD info, void* descriptor, DWORD length, DWORD* needed);
// Applies a descriptor of ours; a well-formed one that is not ours is ignored (success), a
// malformed one refused (1338). Without its size, the descriptor's offsets are followed no
// further than 4096 bytes (ours are smaller; one reaching further is left alone): callers that
// know the size pass it.
BOOL SetFileSecurity(const char* path, DWORD info, const void* descriptor);
BOOL SetFileSecurity(const char* path, DWORD info, const void* descriptor, DWORD length);
// Checks that `length` bytes hold a well-formed self-relative descriptor.
BOOL IsValidSecurityDescriptor(const void* descriptor, DWORD length);

// ---- directory walks ------------------------------------------------------------------------
struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAA) == 320);
static_assert(offsetof(WIN32_FIND_DATAA, cFileName) == 44);

// Snapshot walk: "." and ".." first for any directory, then names in NTFS order (ASCII
// upper-cased ordinal); DOS wildcards matched ignoring case. 3 missing directory, 2 no match,
// 18 at the end. Entries other than regular files, directories and symlinks are listed with
// attribute FILE_ATTRIBUTE_SYSTEM so that callers never open them; symlinks carry
// FILE_ATTRIBUTE_REPARSE_POINT.
HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data);
// The same walk for callers that need no more than names and kinds: each entry carries
// FILE_ATTRIBUTE_DIRECTORY (folder), FILE_ATTRIBUTE_REPARSE_POINT (link; with the first, to a
// folder), FILE_ATTRIBUTE_NORMAL (regular file) or FILE_ATTRIBUTE_SYSTEM (anything else), and
// no times or sizes. The entries'
// status is never read (where the directory tells the kinds), which in a large folder costs
// many times the names.
HANDLE FindFirstFileNames(const char* pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);

// ---- tree removal ---------------------------------------------------------------------------
enum class RemoveScope {
    Tree,      // the folder and everything in it
    Contents,  // everything in it; the folder stays
    Files,     // its files and links (not its sub-folders), then the folder itself
    Name,      // whatever is at the name: a folder as Tree, anything else as the name it is
};
// Removes by handle: every folder is opened relative to its parent's handle without following a
// link, listed through its own handle and emptied relative to it; no path is looked up again,
// so a folder swapped for a link meanwhile redirects nothing (a link always goes as a link,
// never what it points to). Below the install root not even the folders leading to `path` are
// passed through a link, nor is `path` itself. With Tree a link named by `path` goes as a link;
// with Name a file, a FIFO or any other name that is no folder goes too, as it is.
// Every entry is tried; FALSE with the first error met: 32 a file another handle holds without
// sharing delete, 3 no folder at `path` (missing, a file, or a link in the store; Tree and Name:
// 2 when only its last level is missing), 145 a folder left not empty, 5 no permission.
BOOL RemoveTree(const char* path, RemoveScope scope);
// Empties the folder that `folder` holds open (opened with FILE_FLAG_BACKUP_SEMANTICS) as
// RemoveTree does, through that handle, then removes the folder's name `path` while it still names
// that folder: whatever another writer put at the name meanwhile stays (145). FALSE with the first
// error met.
BOOL RemoveHeldTree(HANDLE folder, const char* path);

// ---- named objects --------------------------------------------------------------------------
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD SYNCHRONIZE = 0x00100000u;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001u;

// Machine-wide for every process sharing the run-time directory of the settings. Creating an
// existing object opens it and leaves 183 as last error (0 otherwise). Mutexes are recursive for
// their owning thread and abandoned when it ends or dies.
HANDLE CreateMutex(SECURITY_ATTRIBUTES* sa, BOOL initialOwner, const char* name);
HANDLE OpenMutex(DWORD access, BOOL inherit, const char* name);
HANDLE CreateSemaphore(SECURITY_ATTRIBUTES* sa, LONG initialCount, LONG maximumCount,
                       const char* name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// A named mutex taken for a holder to whom an abandoned mutex is as good as a free one (a log's
// writers): the mark that tells the two apart is neither read nor left, so taking it and letting
// it go (ReleaseMutex) cost one system call each. Never WAIT_ABANDONED; every process that takes
// the mutex should take it so, or its abandonments go unseen.
DWORD WaitForMutexUnmarked(HANDLE mutex, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

// ---- registry (the settings file) -----------------------------------------------------------
// The file named by QVPAPI_CONFIG (default /etc/qvpapi.conf): INI text with the section
// [QVPAPI] for the library's values and [Platform] for the layer's own. Names match ignoring
// case; values of 128 bytes or more are ignored; at most 512 values a section.
namespace registry {
// Tells the names of the library section that the library reads: a name of the file it does not
// know is reported, once a load (a mistyped PathName would leave the default root in silence).
using KnownNames = bool (*)(std::string_view name);
void Load(KnownNames libraryNames = nullptr);  // once; later calls only check names newly told
void LoadFrom(const std::string& file);     // tests: replace the cache from this file
std::optional<std::string> Get(std::string_view name);          // library section
bool Set(std::string_view name, std::string_view value);        // marks it changed
std::optional<std::string> GetPlatform(std::string_view name);  // platform section
void SetPlatform(std::string_view name, std::string_view value);  // in memory (tests)
// Writes the changed values back atomically (lock, re-read, replace only what changed,
// rename). Called at unload.
bool Flush();
std::string ConfigPath();
int ConfigError();  // 0 when the last load read its file, else the errno of the open or read
// What the last load could not use (the file, or its lines, each with the file's name), once:
// the first caller takes them. The load has reported them to the event log already.
std::vector<std::string> TakeProblems();
}  // namespace registry

// The install root of the library's settings ("PathName", default below) as a POSIX path.
constexpr const char kInstallRootSetting[] = "PathName";
constexpr const char kInstallRootDefault[] = "C:\\ZARNQVP";
std::string InstallRoot();
// Run-time directory for named objects: platform "RunDir", else "<install root>/RUN", so that
// every process of every user writing a store shares its locks.
std::string RunDirectory();

// ---- event log ------------------------------------------------------------------------------
constexpr WORD EVENTLOG_ERROR_TYPE = 0x1;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x2;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x4;
// syslog, plus the file of platform "EventLogFile" when set.
void ReportEvent(WORD type, DWORD eventId, std::string_view text);

// ---- sockets helpers ------------------------------------------------------------------------
constexpr uint32_t INADDR_NONE_VALUE = 0xFFFFFFFFu;
// inet_addr semantics: network-order address, 0xFFFFFFFF for "255.255.255.255" and bad text.
uint32_t inet_addr(const char* text);

// ---- sockets --------------------------------------------------------------------------------
// Blocking IPv4 TCP for the manager transport (and the simulator). Sockets are plain
// descriptors, -1 for none. Failures leave a Windows Sockets error number as last error.
constexpr DWORD WSAEINTR = 10004;
constexpr DWORD WSAEINVAL = 10022;
constexpr DWORD WSAEMFILE = 10024;
constexpr DWORD WSAEADDRINUSE = 10048;
constexpr DWORD WSAENETUNREACH = 10051;
constexpr DWORD WSAECONNABORTED = 10053;
constexpr DWORD WSAECONNRESET = 10054;
constexpr DWORD WSAENOTCONN = 10057;
constexpr DWORD WSAETIMEDOUT = 10060;
constexpr DWORD WSAECONNREFUSED = 10061;
constexpr DWORD WSAEHOSTUNREACH = 10065;
constexpr DWORD WSAHOST_NOT_FOUND = 11001;
constexpr DWORD WSANO_DATA = 11004;
// errno -> Windows Sockets error number.
DWORD SocketErrorFromErrno(int err);

// Connects to an IPv4 address (network byte order) and port (host order). The socket, or -1.
int TcpConnect(uint32_t address, uint16_t port);
// Listens on an IPv4 address (network order; port 0 picks one). The socket, or -1; `boundPort`
// gets the port in use.
int TcpListen(uint32_t address, uint16_t port, uint16_t* boundPort);
// The accepted socket, or -1 (also when the listener was shut down).
int TcpAccept(int listener);
// Connections made here carry TCP keep-alive: a peer that died is noticed within two minutes.
// One send / one receive as the system gives it (no looping): the byte count, 0 from a receive
// at the peer's end of stream, or -1. Interrupted calls are resumed; SIGPIPE is never raised.
// A receive that sees no byte within `timeoutMs` (INFINITE: no bound) fails with 10060.
int SocketSend(int socket, const void* data, size_t length);
int SocketRecv(int socket, void* data, size_t length, DWORD timeoutMs = INFINITE);
// SocketRecv whose wait is the socket's own receive time-out, so that data that comes in time
// costs one system call. `socketTimeoutMs` is the time-out the socket has now (INFINITE for a
// new socket), kept by the caller between calls; it is set again only when it must change.
int SocketRecvWithin(int socket, void* data, size_t length, DWORD timeoutMs, DWORD* socketTimeoutMs);
// Wakes every thread blocked on the socket (both directions end) without releasing it.
void ShutdownSocket(int socket);
void CloseSocket(int socket);
// TCP service name -> port (host order); nullopt when unknown (last error 11004).
std::optional<uint16_t> GetServicePort(const char* name);
// Host name -> first IPv4 address (network order); nullopt when unknown (last error 11001).
std::optional<uint32_t> ResolveHostIPv4(const char* host);
// This machine's host name (empty when the system gives none).
std::string GetLocalHostName();

// ---- failure injection (test builds) -------------------------------------------------------
// Tests make the Nth call of a kind fail with a chosen Windows error, so that every failure step
// of a writer can be walked. Counting is per thread (the simulator's own threads never count)
// and only covers calls whose path holds the thread's filter text (sockets have none, so they
// count only without a filter). Builds without QVP_FAULT_INJECTION keep only no-op hooks.
namespace fault {

enum class Call : unsigned {
    CreateFile, ReadFile, WriteFile, SetFilePointer, SetEndOfFile, LockFile, MoveFile, DeleteFile,
    CreateDirectory, FindFirstFile, FindNextFile, SocketSend, SocketRecv, Count
};

#ifdef QVP_FAULT_INJECTION
// From now on the `nth` (from 1) counted call of `call` fails once with `error`.
void FailNth(Call call, unsigned nth, DWORD error);
// Counts from 0 again; only calls whose path contains `filter` count ("" every call).
void Watch(std::string_view filter);
unsigned Calls(Call call);  // counted since Watch or Reset; Call::Count: of every kind
// The process ends as a kill would end it (_exit with kKilledExit: no destructors, no buffers
// flushed, nothing undone) on entry to the `nth` (from 1) counted call of `call` from now on, or
// of any kind with Call::Count; so a test's forked child stops a writer part way.
constexpr int kKilledExit = 86;
void ExitAtNth(unsigned nth, Call call = Call::Count);
// `hook` runs with the POSIX path of each folder that a walk or a tree removal has just listed,
// before any entry of the listing is used, so that a test can change the folder at exactly that
// point; an empty function ends it.
void OnListed(std::function<void(const std::string& folder)> hook);
// Walks report `size` bytes for entries named `name` (exact bytes) instead of their own.
void ReportSize(std::string_view name, uint64_t size);
// The next RandomNumber calls of this thread give these values, in order.
void GiveRandomNumbers(std::vector<uint64_t> values);
void Reset();  // nothing armed, no filter, no reported sizes, no numbers to give
// While on, this thread's Sleep returns at once (Reset keeps it): a failure walk does not wait
// out the pauses between a remover's retries.
void SkipPauses(bool on);
bool PausesSkipped();
// The pauses (a Sleep of 1 ms or more) this thread began since Reset, skipped or not: a test
// sees that a call waited, without timing it.
unsigned Pauses();
void Paused();  // the hook
// The layer's hooks: count the call and say whether it is to fail (its error then set).
bool Hit(Call call, std::string_view path = {});
void AdjustFindData(WIN32_FIND_DATAA* data);
bool TakeRandomNumber(uint64_t* value);  // false when no number is to be given
void Listed(const std::string& folder);
#else
// Always inlined, so that no trace of the hooks is left in what is shipped, unoptimised or not.
[[gnu::always_inline]] inline bool Hit(Call, std::string_view = {}) { return false; }
[[gnu::always_inline]] inline void AdjustFindData(WIN32_FIND_DATAA*) {}
[[gnu::always_inline]] inline bool TakeRandomNumber(uint64_t*) { return false; }
[[gnu::always_inline]] inline void Listed(const std::string&) {}
[[gnu::always_inline]] inline bool PausesSkipped() { return false; }
[[gnu::always_inline]] inline void Paused() {}
#endif

}  // namespace fault

}  // namespace win

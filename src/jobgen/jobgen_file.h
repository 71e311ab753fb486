// The stored JobGen and its edit session: the jobgenfile layouts, the store and work-tree paths,
// the name checks every path passes before anything is touched, the JobGen mutex and the edit
// state that hangs on the thread's block while a JobGen is open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/block.h"
#include "core/bounded_read.h"
#include "core/frame.h"
#include "core/handles.h"
#include "platform/win.h"
#include "qvpapi.h"

namespace qvp::jobgen {

constexpr char kJobGenFile[] = "jobgenfile";
constexpr char kEntryFile[] = "jobgenentryfile";
constexpr char kVersion[] = "0500";
constexpr size_t kHeaderSize = 256;
constexpr size_t kEntrySize = 1284;
constexpr size_t kTextField = 260;
constexpr uint32_t kMaxPath = 260;

// Entry types of the node field.
constexpr uint32_t kTypeGroup = 0;
constexpr uint32_t kTypeClient = 1;
constexpr uint32_t kTypeMaster = 2;
constexpr uint32_t kTypeIdGroup = 4;
constexpr uint32_t kTypeClientPath8 = 8;
constexpr uint32_t kTypeClientById = 0x1000001;
constexpr uint32_t kTypeMasterById = 0x1000002;
constexpr uint32_t kTypeClientAsGiven = 0x80000000u;
constexpr uint32_t kTypeMasterAsGiven = 0x80000002u;
constexpr uint8_t kIdJobGen = 5;
// Job kinds an ID JobGen takes.
inline bool IsIdKindLetter(char kind) { return kind == 'D' || kind == 'V' || kind == 'J' || kind == 'I'; }

// qvpJobGENHEADER: all integers little-endian, as the host writes them.
struct JobGenHeader {
    uint32_t entryAreaSize;     //   0 entry count x 1284
    char name[64];              //   4 NUL-padded; 64 characters fill it
    uint8_t options;            //  68 0x01|0x02 wake-on-LAN, 0x04 multicast, 0x08 pressing
    char execDay[2];            //  69 "%02d"; NUL or blank = unset
    uint8_t execWeek;           //  71
    char jobKind;               //  72
    uint8_t idKind;             //  73 5 = ID JobGen
    char origin;                //  74 'S' when rebuilt from a job execution
    char workDate[6];           //  75 yymmdd
    char workTime[6];           //  81 hhmmss
    char execTiming;            //  87
    uint32_t entryCount;        //  88
    char version[4];            //  92 "0500" ("0100", "0200" read)
    uint32_t divisionalSize;    //  96
    uint32_t transInterval;     // 100
    uint32_t scheduleOption;    // 104
    win::SYSTEMTIME schedule[3];  // 108
    uint8_t reserved[100];      // 156
};
static_assert(sizeof(JobGenHeader) == kHeaderSize);
static_assert(offsetof(JobGenHeader, name) == 4);
static_assert(offsetof(JobGenHeader, options) == 68);
static_assert(offsetof(JobGenHeader, execDay) == 69);
static_assert(offsetof(JobGenHeader, execWeek) == 71);
static_assert(offsetof(JobGenHeader, jobKind) == 72);
static_assert(offsetof(JobGenHeader, idKind) == 73);
static_assert(offsetof(JobGenHeader, workDate) == 75);
static_assert(offsetof(JobGenHeader, workTime) == 81);
static_assert(offsetof(JobGenHeader, execTiming) == 87);
static_assert(offsetof(JobGenHeader, entryCount) == 88);
static_assert(offsetof(JobGenHeader, version) == 92);
static_assert(offsetof(JobGenHeader, divisionalSize) == 96);
static_assert(offsetof(JobGenHeader, transInterval) == 100);
static_assert(offsetof(JobGenHeader, scheduleOption) == 104);
static_assert(offsetof(JobGenHeader, schedule) == 108);

// The kind-I fields of an entry (bytes 368-491), also the head of the soft-refer area.
struct SoftReferFields {
    uint32_t software;          // 368
    uint32_t driveOption;       // 372
    char driveName[70];         // 376
    uint8_t reserved446[2];
    uint8_t driveCode[5];       // 448
    uint8_t reserved453[3];
    char listName[32];          // 456 (absent in "0100" files)
    uint32_t listType;          // 488
};
static_assert(sizeof(SoftReferFields) == 124);

// qvpJobGENENTRY: one entry of jobgenfile, and the content of every entry file of the work tree.
struct JobGenEntry {
    char jobKind;               //    0
    char setcls;                //    1
    uint8_t flags;              //    2
    uint8_t reginfOption;       //    3
    uint8_t reserved4[12];
    char node[260];             //   16
    uint32_t type;              //  276
    uint8_t reserved280[8];
    char packageKey[64];        //  288 (ID operations: request byte here, texts from 296)
    char fileId[8];             //  352
    uint32_t packageCopy;       //  360 1: the attribution copy travels with the JobGen
    uint32_t fileIdCopy;        //  364 1: the file named by the file id does
    SoftReferFields soft;       //  368
    char softReferId[8];        //  492
    uint8_t reserved500[524];
    char host[260];             // 1024
};
static_assert(sizeof(JobGenEntry) == kEntrySize);
static_assert(offsetof(JobGenEntry, node) == 16);
static_assert(offsetof(JobGenEntry, type) == 276);
static_assert(offsetof(JobGenEntry, packageKey) == 288);
static_assert(offsetof(JobGenEntry, fileId) == 352);
static_assert(offsetof(JobGenEntry, packageCopy) == 360);
static_assert(offsetof(JobGenEntry, fileIdCopy) == 364);
static_assert(offsetof(JobGenEntry, soft) == 368);
static_assert(offsetof(JobGenEntry, soft.listName) == 456);
static_assert(offsetof(JobGenEntry, soft.listType) == 488);
static_assert(offsetof(JobGenEntry, softReferId) == 492);
static_assert(offsetof(JobGenEntry, host) == 1024);

// The soft-refer area of a kind-I session: the entry's fields and room the soft-refer
// operations keep to themselves.
struct SoftReferArea {
    SoftReferFields fields;
    uint8_t reserved[92];
};
static_assert(sizeof(SoftReferArea) == 216);

// What job preparation hands from the re-creation to the sort (jobgen_prepare.h). Callers read
// only the count of entries that were left out.
struct ReCreateControlTable {
    // re-creation
    uint32_t repeat = 0;          // an expander wrote a sub-group entry: another pass follows
    uint32_t written = 0;         // entries written in the current pass
    uint32_t skippedEntries = 0;  // nodes, groups and IDs left out, over all passes
    uint32_t pass = 0;
    // sort
    uint32_t sortWritten = 0;
    uint32_t buckets = 0;
    uint32_t packages = 0;
    uint8_t setcls = 0;           // byte 1 of the first entry
    uint8_t reginf = 0;           // byte 3 of the first entry
};

// The call frame of the area's exports: "%s END : Code = 0x%8.8x" and the family's own line for
// a caught exception.
inline constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts JobGenFrame(const char* name, const char* exceptionText = kLogicalError,
                                 EndStyle style = EndStyle::Hex) {
    return FrameTexts{name, style, nullptr, nullptr, exceptionText};
}
// The result of a body: 1, or 0 with `code` set.
inline int Finish(CallContext& call, uint32_t code) {
    if (code != 0) call.Fail(code);
    return code == 0 ? 1 : 0;
}

// Copies a text into a fixed field: at most the field's width, NUL-padded, no terminator past
// it. Reads are bounded the same way.
void PutField(char* field, size_t width, std::string_view text);
std::string FieldText(const char* field, size_t width);

// ---- store and work tree ------------------------------------------------------------------

std::string StoreRoot();                       // MNGFL\JOBGEN
std::string WorkDir(const QVPAPI& block);      // WORK\MNG\JOBGEN\<thread id>
std::string WorkArea(const QVPAPI& block, const char* area);  // WorkDir + "\" + area
// RMTINS\WORK\JB<process id>_<thread id>
std::string ExBackupDir();
// <folder>\<name>, or \<name> at the top.
std::string JobGenPath(std::string_view folder, std::string_view name);
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);

// Name of a folder or JobGen: 0, or 0x2000007B when NULL, empty, "." or "..", or holding a
// separator ("\" or "/"). With `kind` 3 or 4 the name must also pass that name check.
uint32_t CheckName(const char* name, int kind = -1);
// A folder or JobGen name given to a stored operation: 0, or 0x2000007B with the operation's
// "Folder Name" line (`oldWording`: the rename's "ParaMeter Error" for its first name).
uint32_t CheckLevelName(CallContext& call, const char* name, bool oldWording = false);
// A folder: NULL, "" and "\" are the top (normalised to ""); anything else begins with "\" and
// has only non-empty parts that are neither "." nor ".." (0x20000057). With `checkParts` each
// part must pass name check 3, whose code is returned.
uint32_t CheckFolder(const char* folder, bool checkParts, std::string& normalised);
// The JobGen mutex of folder + "\" + name: the first character dropped, the rest split at "\",
// empty pieces dropped, each piece in the store's one spelling (trailing blanks and dots
// dropped, upper case: every spelling the store resolves to one JobGen takes one mutex), the
// pieces joined with ".".
std::string MutexName(std::string_view folder, std::string_view name);
// The one spelling of a path part the store does not tell from others: trailing blanks and
// dots dropped, letters upper-cased, so "J1", "j1" and "J1." name one JobGen and one mutex.
std::string StoreSpelling(std::string_view part);

// Where a commit builds the new JobGen beside the stored one at `dir` (`aside` false) and where
// it sets the old one aside (true): the JobGen's one store spelling with " .new" or " .old"
// added, in the same parent. No JobGen or folder name holds a blank or a dot, so these never
// meet a name a caller gives, and listings pass over them.
std::string CommitLeftover(const std::string& dir, bool aside);
// Where a job creation keeps the original jobgenfile of the JobGen at `dir` while the stored one
// holds the prepared form: the store spelling with " .job", a file in the same parent.
std::string KeptOriginal(const std::string& dir);
// A name any of these leftovers has; LeftoverOwner gives the JobGen's store spelling it belongs
// to ("" for any other name).
bool IsCommitLeftover(std::string_view name);
std::string LeftoverOwner(std::string_view name);

// A JobGen mutex taken without waiting; released and closed when it goes.
class JobGenMutex {
public:
    JobGenMutex() = default;
    JobGenMutex(JobGenMutex&& o) noexcept { *this = std::move(o); }
    JobGenMutex& operator=(JobGenMutex&& o) noexcept;
    JobGenMutex(const JobGenMutex&) = delete;
    JobGenMutex& operator=(const JobGenMutex&) = delete;
    ~JobGenMutex() { Release(); }
    // 0, 0x20100000 (cannot be made) or 0x20000020 (owned elsewhere); the failure is logged
    // under `function`.
    uint32_t Take(const char* function, const std::string& name);
    void Release();
    bool held() const { return handle_ != nullptr; }

private:
    win::HANDLE handle_ = nullptr;
};

// ---- the edit state ------------------------------------------------------------------------

// The execution time of the session, in the caller's layout: class ' ', no time (99/99/99).
struct TimeJobGenData : QVAPI_TIME_JOBGEN_DATA {
    TimeJobGenData() : QVAPI_TIME_JOBGEN_DATA{} {
        ucSetcls = ' ';
        WorkTime.wHour = WorkTime.wMinute = WorkTime.wSecond = 99;
    }
};

struct DivisionalTransData {
    uint32_t option = 0;  // 1 = on
    uint32_t size = 0;
    uint32_t interval = 0;
};

// QVPAPI_JOBGEN_EDIT: the open JobGen of a thread.
struct JobGenEdit {
    JobGenMutex mutex;
    JobGenMutex renamedMutex;        // the new name's, once the session renamed the JobGen
    std::string jobGenPath;          // store directory as opened
    std::string folder;              // "" for the top; the commit's target folder
    std::string openedFolder;        // folder as opened (backups are laid out by it)
    JobGenHeader header{};
    char jobKind = 'D';
    uint32_t nodeCount = 0;
    uint32_t packageCount = 0;
    uint8_t idKind = 0;
    uint16_t idOperateCount = 0;
    char idOperateRequest = 0;       // letter of the ID-operate call that filled IDGROUP
    std::unique_ptr<SoftReferArea> soft;
    uint32_t timeOption = 0;
    TimeJobGenData time;
    DivisionalTransData divisional;
    uint32_t reginfRefOption = 0;
    bool ex = false;                 // opened by the Ex twin
    bool stored = false;             // a stored JobGen: the work tree holds its backup
    bool storeTouched = false;       // a commit left the store changed: the backup puts it back
};

// The open JobGen of the calling thread for a handle: nullptr with 0x20000006 (and the
// operation's "Parameter Error" line, `words` after the name) when the handle is not the
// thread's block or no JobGen is open.
JobGenEdit* EditOf(CallContext& call, const void* handle,
                   const char* words = "Parameter Error : JobGen Handle Value is INVALID");
// Puts right what a writer killed part way left of the JobGen at `dir` (its mutex held): a new
// JobGen built beside it that never went in is removed; the old one set aside is put back when
// the new one did not go in and removed when it did; a header that names another JobGen (a
// rename cut short) is given `name`. False, logged, when the JobGen cannot be put back.
bool PutRightKilledWriters(CallContext& call, const std::string& dir, std::string_view name);
// Gives the stored jobgenfile of `dir` the header name `name`: the file as its header declares it
// written whole to a temporary and renamed over it. False with the failing step logged.
bool NameStoredHeader(CallContext& call, const std::string& dir, std::string_view name);
// The same for every JobGen of the store folder `folderDir` (`folder` as callers give it) that
// such leftovers name, each under its mutex; one whose mutex another caller holds is left to it.
void PutRightKilledWritersIn(CallContext& call, const std::string& folderDir, const std::string& folder);

// ---- whole replacement and removal (the leftovers above are what a kill leaves of these) ------

// Puts the JobGen at `built` (the building folder of `stored`, or inside it) in place at `target`:
// at the stored one's own name (`replaces`) the two exchanged and the old one removed; at another
// name the stored one (when `replaces`) set aside, the new one moved in, the old one removed. 0,
// or 0x20100000 logged, `oldBack` telling whether the old JobGen is under its name again.
uint32_t SwapInBuilt(CallContext& call, const std::string& built, const std::string& stored, const std::string& target,
                     bool replaces, bool& oldBack);
// A copy of the folder `source` takes the place of the stored JobGen `dir` (built beside it and
// swapped in). 0 or 0x20100000, logged.
uint32_t ReplaceStoredJobGen(CallContext& call, const std::string& source, const std::string& dir);
// The stored JobGen `dir` moved off its name, then removed. False, logged, when it cannot move.
bool RemoveStoredJobGen(CallContext& call, const std::string& dir);

// The stored jobgenfile of a JobGen that a job is made of: the original kept beside the JobGen
// (KeptOriginal) until PutBack, the prepared form made on a copy and exchanged in. Killed in
// between, the next caller holding the JobGen's mutex puts the original back. The mutex is held
// throughout.
class PreparedJobGen {
public:
    PreparedJobGen() = default;
    PreparedJobGen(const PreparedJobGen&) = delete;
    PreparedJobGen& operator=(const PreparedJobGen&) = delete;
    ~PreparedJobGen();  // an original not put back stays for the next caller
    // Keeps the original of the JobGen at `dir`. False with the Windows error as last error.
    bool Keep(const std::string& dir);
    // Runs `steps` on a copy of the stored file and puts the result in its place. 0, the steps'
    // code, or 0x20100000.
    uint32_t Prepare(const std::function<uint32_t(const std::string&)>& steps);
    // The original back in place (true too when none is kept).
    bool PutBack();

private:
    std::string stored_;
    std::string kept_;
};
// Whether `kept` is the original this thread's job creation still needs kept.
bool IsLiveKept(const std::string& kept);

// Ends the session: store restored when `restore`, Ex backup dropped when `dropExBackup`, the
// work directory removed (0x20100000 when it cannot be), mutexes released, state freed.
uint32_t EndSession(QVPAPI& block, const char* function, bool restore, bool dropExBackup);
// Puts the store back as it was at open: the backup copied back, or a new JobGen's directory
// removed.
void RestoreStore(QVPAPI& block, const JobGenEdit& edit);

// The release hook (close, thread exit) and the walks: one registration for the area.
void RegisterRelease();

// ---- entry files -----------------------------------------------------------------------------

// Writes a new entry file (create-new, unshared, locked while written). 0, or the Windows error
// of the failing step (`createFailed` tells whether the file could not be made at all); a file
// whose write failed is removed again.
win::DWORD WriteNewEntry(const std::string& path, const JobGenEntry& entry, bool* createFailed = nullptr);
// Reads a 1284-byte entry file (unshared). 0 or the Windows error (a short file: 38).
win::DWORD ReadEntry(const std::string& path, JobGenEntry& entry);
// The same for a file below the folder that `folder` holds open (see win::CreateFileIn): the
// folders above are not looked up again.
win::DWORD ReadEntryIn(win::HANDLE folder, const std::string& path, JobGenEntry& entry);

// ---- the stored file -------------------------------------------------------------------------

// A u32 counts the bytes of the entry area: no JobGen holds more entries.
constexpr uint32_t kMaxEntries = 0xFFFFFFFFu / kEntrySize;
// jobgenfile: the header and the entries its count announces; bytes after them (a sort in place
// leaves them) are not read.
extern const DeclaredLayout kJobGenFileLayout;
// A jobgenfile read whole and checked: a header and exactly the entries its count announces
// (bytes after them ignored).
struct StoredJobGen {
    JobGenHeader header{};
    std::vector<JobGenEntry> entries;
};
// false when shorter than its header or when the entry area ends inside a record.
bool ParseJobGenFile(std::span<const uint8_t> bytes, StoredJobGen& out);
// The session fields a stored header and first entry give (kind, time texts, divisional
// transfer, soft-refer area).
void LoadSessionFields(const StoredJobGen& stored, JobGenEdit& edit);
// The entries of the first node's run: the first entry and those following it with the same
// node name and type.
size_t FirstRunLength(const StoredJobGen& stored);
// Two-digit decimal of a header text; -1 when unset (NUL or blank first) or not digits.
int TwoDigits(const char* text);

// ---- seams to later areas ----------------------------------------------------------------

// The ID-operate writer of the ID-group area: one call per re-opened kind-L JobGen with all
// node names of its first run. 0 or the API code.
using IdOperateWriter = uint32_t (*)(QVPAPI& block, char request, const char* id,
                                     const char* password, const std::vector<std::string>& nodes);
void SetIdOperateWriter(IdOperateWriter writer);
IdOperateWriter GetIdOperateWriter();

// Re-adds one node entry of a stored JobGen (the node operations' work without their frame).
// 0 or the API code.
uint32_t ReAddNode(CallContext& call, JobGenEdit& edit, const JobGenEntry& entry);

// A walk of a work area kept in a find slot of the block; ended when the slot is cleared.
void EndWalkSlot(void*& slot);

// Classification of a directory: 3 folder, 4 JobGen or job, 5 ID JobGen or ID job, -1 (last
// error: the walk's Windows error, or the read's API code).
int SelectFile(QVPAPI& block, const std::string& directory, win::WIN32_FIND_DATAA& data);
// The names in a work area in listing order ("." and ".." left out), folders or files. Only the
// end of the listing ends it: false, with the walk's Windows error as last error, when the walk
// cannot start or fails part way, so that no caller takes a part for the whole.
bool ListWorkArea(const std::string& dir, bool directories, std::vector<std::string>& names);

// "%02d/%02d/%02d %02d:%02d:%02d" of a file time in local time, into 18 bytes.
void FormatFileTime(const win::FILETIME& time, char* out);

}  // namespace qvp::jobgen

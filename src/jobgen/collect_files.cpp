// The collect files of a kind G or S JobGen in the session's COLLECT folder: F0000000 (the
// settings as a 784-byte record), P0000000 (the store path) and Q0000000 (the script archive).
// The getter unpacks from a copy of the archive, so the next commit still finds it.
#include <algorithm>
#include <cstring>
#include <string>

#include "client/ar/swpkg.h"
#include "client/ar/unarchive.h"
#include "core/fileutil.h"
#include "core/handles.h"
#include "core/temp_file.h"
#include "jobgen/collect_files.h"
#include "jobgen/jobgen_file.h"
#include "platform/byte_order.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kUpdateFrame = JobGenFrame("qvAPIUpdateCollectFileJobGen");
constexpr FrameTexts kGetFrame = JobGenFrame("qvAPIGetCollectFileJobGen");
constexpr FrameTexts kMakeFrame = JobGenFrame("qvpAPIJobGenMakeCollect");
constexpr char kHandleWords[] = "Logical Error : JobGen Handle Value is INVALID";

namespace msg {
constexpr char kRecordNull[] = "%s : Logical Error : lpCollectData Pointer is NULL";
constexpr char kPathNull[] = "%s : Logical Error : lpcszCollectFilePath Pointer is NULL";
constexpr char kInvalid[] = "%s : Parameter Error : lpCollectData->%s Value is INVALID";
// A record file written anew logs under the updater's name, from whichever call.
constexpr char kUpdateName[] = "qvAPIUpdateCollectFileJobGen";
constexpr char kOpen[] = "%s : CreateFile - OPEN Error : File = %s";
constexpr char kOpenCode[] = "%s : CreateFile - OPEN Error : Handle = 0x%8.8x, errno = %d";
constexpr char kWrite[] = "%s : WriteFile Error : File = %s";
constexpr char kWriteCode[] =
    "%s : WriteFile Error : Handle = 0x%8.8x, Buff = 0x%8.8x, Size = 0x%8.8x, errno = %d";
constexpr char kPack[] = "%s : qvpSwpEndChangeQFile Error : INPATH = %s, QFile = %s";
constexpr char kStat[] = "%s : _stat Error : File = %s, errno = %d";
constexpr char kRead[] = "%s : ReadFile Error : File = %s, errno = %d";
constexpr char kUnpack[] = "%s : qvpSwpStartChangeQFile Error : QFile = %s, OUTPATH = %s";
constexpr char kMakeCreate[] = "%s : CreateFile Error %d : %s";
constexpr char kMakeRead[] = "%s : ReadFile Error %d : %s";
constexpr char kMakeCopy[] = "%s : CopyFile Error %d : %s";
constexpr char kMakeSeek[] = "%s : SetFilePointer Error %d : %s";
}  // namespace msg

constexpr size_t kTextKept = 63;
constexpr size_t kStorePathLimit = 183;

struct CollectPaths {
    std::string folder, f, p, q;
};
CollectPaths PathsOf(const QVPAPI& block) {
    CollectPaths paths;
    paths.folder = WorkArea(block, "COLLECT");
    paths.f = paths.folder + "\\" + kCollectRecordFile;
    paths.p = paths.folder + "\\" + kCollectPathFile;
    paths.q = paths.folder + "\\" + kCollectArchiveFile;
    return paths;
}

// A caller's folder and a file in it, joined the way the folder is written.
std::string InFolder(const std::string& folder, const char* name) {
    return folder + (qvpIsPosixPath(folder) ? "/" : "\\") + name;
}

void PutBlanks(uint8_t* at, size_t count) { std::memset(at, ' ', count); }
void PutText(uint8_t* at, const char* text, size_t width) {
    std::memcpy(at, text, strnlen(text, std::min(width, kTextKept)));
}

// The F record of the caller's settings.
void BuildRecord(const QVAPI_COLLECT& c, uint8_t* r) {
    std::memset(r, 0, kCollectRecordSize);
    putBe16(r, static_cast<uint16_t>(kCollectRecordSize));
    r[2] = 1;
    PutBlanks(r + 4, 6);
    r[10] = kCollectHasArchive;
    for (auto [offset, count] : {std::pair{75, 64}, {139, 8}, {147, 6}, {160, 6}, {362, 6}, {368, 8}, {450, 6},
                                 {456, 20}, {476, 2}, {478, 2}, {482, 6}, {776, 8}})
        PutBlanks(r + offset, count);
    r[166] = static_cast<uint8_t>(c.ucCollectTiming);
    r[167] = 'F';
    PutText(r + 168, c.ucCollectPath, sizeof c.ucCollectPath);
    PutText(r + 232, c.ucText1, sizeof c.ucText1);
    PutText(r + 296, c.ucText2, sizeof c.ucText2);
    r[361] = 'A';
    r[480] = 'K';
    r[481] = static_cast<uint8_t>(c.ucCompressCode);
    r[kCollectCounter] = 0;
    r[513] = static_cast<uint8_t>(c.ucCipherCode);
    std::memcpy(r + 556, "EN", 2);
    std::memcpy(r + 559, "NN", 2);
    std::memcpy(r + 564, c.ucPDate, sizeof c.ucPDate);
    r[596] = '0';
    r[601] = '0';
    std::memcpy(r + 606, "755/", 4);
}

// The first setting out of range, or nullptr.
const char* BadSetting(const QVAPI_COLLECT& c) {
    if (c.ucCollectTiming != 'B' && c.ucCollectTiming != 'E' && c.ucCollectTiming != 'S') return "ucCollectTiming";
    if (c.ucCompressCode != 'K' && c.ucCompressCode != ' ') return "ucCompressCode";
    if (c.ucPDate[0] == '\0') return "ucPDate";
    if (c.ucCipherCode != 'D' && c.ucCipherCode != 'N') return "ucCipherCode";
    if (c.ucCollectPath[0] == '\0') return "ucCollectPath";
    const size_t store = strnlen(c.ucCollectStorePath, sizeof c.ucCollectStorePath);
    if (store == 0 || store >= kStorePathLimit) return "ucCollectStorePath";
    return nullptr;
}

// Creates a file anew (write access, no sharing) and writes `size` bytes; logged as the update
// logs it.
bool WriteAnew(CallContext& call, const std::string& path, const void* bytes, uint32_t size) {
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const int error = static_cast<int>(win::GetLastError());
        call.Log(msg::kOpen, msg::kUpdateName, path.c_str());
        call.Log(msg::kOpenCode, msg::kUpdateName, 0xFFFFFFFFu, error);
        return false;
    }
    win::DWORD written = 0;
    if (win::WriteFile(file.get(), bytes, size, &written, nullptr) == 0 || written != size) {
        const int error = static_cast<int>(win::GetLastError());
        call.Log(msg::kWrite, msg::kUpdateName, path.c_str());
        call.Log(msg::kWriteCode, msg::kUpdateName, 0u, 0u, size, error);
        return false;
    }
    return file.Close();
}

uint32_t Update(CallContext& call, const QVAPI_COLLECT* c, const char* folder) {
    if (c == nullptr) {
        call.Log(msg::kRecordNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (folder == nullptr) {
        call.Log(msg::kPathNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (const char* bad = BadSetting(*c)) {
        call.Log(msg::kInvalid, call.function(), bad);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const CollectPaths paths = PathsOf(call.block());
    uint8_t record[kCollectRecordSize];
    BuildRecord(*c, record);
    if (!WriteAnew(call, paths.f, record, sizeof record) ||
        !WriteAnew(call, paths.p, c->ucCollectStorePath, sizeof c->ucCollectStorePath))
        return QVAPI_ERR_RESOURCE;
    const std::string work = paths.folder + "\\WORK";
    qvpCreateDirectoryTree(work.c_str());
    win::CopyFile(InFolder(folder, kScriptName).c_str(), (work + "\\" + kScriptName).c_str(), win::TRUE);
    if (qvpSwpEndCangeQFile(work.c_str(), paths.q.c_str()) != 0) {
        call.Log(msg::kPack, call.function(), work.c_str(), paths.q.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

// Reads up to `size` bytes of a file (read access, no sharing); the count read, or -1.
long ReadSome(const std::string& path, void* out, uint32_t size) {
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    win::DWORD read = 0;
    if (!file.valid() || win::ReadFile(file.get(), out, size, &read, nullptr) == 0) return -1;
    return static_cast<long>(read);
}

uint32_t Get(CallContext& call, QVAPI_COLLECT* c, const char* output) {
    if (c == nullptr) {
        call.Log(msg::kRecordNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (output == nullptr) {
        call.Log(msg::kPathNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const CollectPaths paths = PathsOf(call.block());
    for (const std::string* path : {&paths.f, &paths.p, &paths.q}) {
        if (win::GetFileAttributes(path->c_str()) == win::INVALID_FILE_ATTRIBUTES) {
            call.Log(msg::kStat, call.function(), path->c_str(), 2);
            return QVAPI_ERR_FILE_NOT_FOUND;
        }
    }
    uint8_t r[kCollectRecordSize];
    if (ReadSome(paths.f, r, sizeof r) != static_cast<long>(sizeof r)) {
        call.Log(msg::kRead, call.function(), paths.f.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    std::memset(c, 0, sizeof *c);
    c->ucCollectTiming = static_cast<char>(r[166]);
    c->ucCompressCode = static_cast<char>(r[481]);
    std::memcpy(c->ucText1, r + 232, 64);
    std::memcpy(c->ucText2, r + 296, 64);
    std::memcpy(c->ucPDate, r + 564, sizeof c->ucPDate);
    c->ucCipherCode = static_cast<char>(r[513]);
    std::memcpy(c->ucCollectPath, r + 168, 64);
    if (ReadSome(paths.p, c->ucCollectStorePath, sizeof c->ucCollectStorePath) < 0) {
        call.Log(msg::kRead, call.function(), paths.p.c_str(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    // The unpacking deletes what it unpacks: give it a copy and keep Q0000000 for the commit.
    TempFile copy;
    if (!copy.Create(paths.q, ".get", win::GENERIC_WRITE) || !copy.handle.Close() ||
        win::CopyFile(paths.q.c_str(), copy.path().c_str(), win::FALSE) == 0 ||
        qvpSwpStartCangeQFile(copy.path().c_str(), output) != 0) {
        call.Log(msg::kUnpack, call.function(), paths.q.c_str(), output);
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

uint32_t MakeCollect(CallContext& call, const char* archive) {
    if (archive == nullptr) {
        call.Log(msg::kPathNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const CollectPaths paths = PathsOf(call.block());
    FileHandle f(win::CreateFile(paths.f.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                 win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.valid()) {
        call.Log(msg::kMakeCreate, call.function(), static_cast<int>(win::GetLastError()), paths.f.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    uint8_t r[kCollectRecordSize];
    win::DWORD done = 0;
    if (win::ReadFile(f.get(), r, sizeof r, &done, nullptr) == 0 || done != sizeof r) {
        call.Log(msg::kMakeRead, call.function(), static_cast<int>(win::GetLastError()), paths.f.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    ++r[kCollectCounter];
    if ((r[10] & kCollectHasArchive) != 0 && win::CopyFile(archive, paths.q.c_str(), win::TRUE) == 0) {
        const int error = static_cast<int>(win::GetLastError());
        call.Log(msg::kMakeCopy, call.function(), error, archive);
        call.Log(msg::kMakeCopy, call.function(), error, paths.q.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    if (win::SetFilePointer(f.get(), 0, nullptr, win::FILE_BEGIN) == win::INVALID_SET_FILE_POINTER) {
        call.Log(msg::kMakeSeek, call.function(), static_cast<int>(win::GetLastError()), paths.f.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    if (win::WriteFile(f.get(), r, sizeof r, &done, nullptr) == 0 || done != sizeof r || !f.Close()) {
        call.Log(msg::kMakeCreate, call.function(), static_cast<int>(win::GetLastError()), paths.f.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    return WriteAnew(call, paths.p, kCollectPathText, sizeof kCollectPathText) ? 0 : QVAPI_ERR_RESOURCE;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIUpdateCollectFileJobGen(QVPAPI_HANDLE hJobGen, const QVAPI_COLLECT* lpCollectData,
                                                          const char* lpcszCollectFilePath) {
    return qvp::RunApi(kUpdateFrame, 0, [&](qvp::CallContext& call) {
        if (EditOf(call, hJobGen, kHandleWords) == nullptr) return 0;
        return Finish(call, Update(call, lpCollectData, lpcszCollectFilePath));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIGetCollectFileJobGen(QVPAPI_HANDLE hJobGen, QVAPI_COLLECT* lpCollectData,
                                                       const char* lpcszCollectFilePath) {
    return qvp::RunApi(kGetFrame, 0, [&](qvp::CallContext& call) {
        if (EditOf(call, hJobGen, kHandleWords) == nullptr) return 0;
        return Finish(call, Get(call, lpCollectData, lpcszCollectFilePath));
    });
}

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMakeCollect(QVPAPI_HANDLE hJobGen, const char* lpcszCollectFilePath) {
    return qvp::RunApi(kMakeFrame, 0, [&](qvp::CallContext& call) {
        if (EditOf(call, hJobGen, kHandleWords) == nullptr) return 0;
        return Finish(call, MakeCollect(call, lpcszCollectFilePath));
    });
}

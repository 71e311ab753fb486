// JobGen folders (create, rename, delete), the look-up of one stored JobGen, and the classifier
// that tells folders, JobGens and jobs apart.

#include <cstring>

#include "core/fileutil.h"
#include "core/log.h"
#include "jobgen/jobgen_file.h"
#include "nodes/name_checks.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kCreateFolder = JobGenFrame("qvAPICreateFolderJobGen");
constexpr FrameTexts kChangeFolder = JobGenFrame("qvAPIChangeFolderJobGen");
constexpr FrameTexts kDeleteFolder = JobGenFrame("qvAPIDeleteFolderJobGen");
constexpr FrameTexts kFindJobGen = JobGenFrame("qvAPIFindJobGen");

namespace msg {
constexpr char kNameNull[] = "%s : Parameter Error : Folder Name Address is NULL";
constexpr char kNameEmpty[] = "%s : Parameter Error : Top of Folder Name Value is NULL";
constexpr char kOldNameNull[] = "%s : ParaMeter Error : Folder Name Address is NULL";
constexpr char kOldNameEmpty[] = "%s : ParaMeter Error : Top of Folder Name Value is NULL";
constexpr char kNameInvalid[] = "%s : Parameter Error : Folder Name %s is INVALID";
constexpr char kNameTooLong[] = "%s : Parameter Error : Folder Name %s Size is too Long";
constexpr char kParentInvalid[] = "%s : Parameter Error : Folder %s is INVALID";
constexpr char kTooLong[] = "%s : Parameter Error : %s\\%s Path Size overed MAX_PATH";
constexpr char kStat[] = "%s : _stat Error %d : %s";
constexpr char kCreateDirectory[] = "%s : CreateDirectory Error %d : %s";
constexpr char kMove[] = "%s : MoveFile %s --> %s : ErrorCode = %d";
constexpr char kDeleteAll[] = "%s : gaiCOMDirectoryDeleteAll %s : ErrorCode = %d";
constexpr char kRecordNull[] = "%s : Parameter Error : QVAPI_JOBGEN struct pointer is NULL";
constexpr char kJobGenNameNull[] = "%s : Parameter Error : lpJobGenName pointer is NULL";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kFileCopy[] = "%s : qvpAPIFileCopy Error = 0x%8.8x";
}  // namespace msg

// The parent folder's directory in the store; 0 or 0x20000057 for a folder that is no path.
uint32_t ParentDir(CallContext& call, const char* parent, std::string& dir) {
    std::string folder;
    if (CheckFolder(parent, false, folder) != 0) {
        call.Log(msg::kParentInvalid, call.function(), parent);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    dir = StoreRoot() + folder;
    return 0;
}

uint32_t LengthRule(CallContext& call, const std::string& dir, const char* name) {
    if (dir.size() + std::strlen(name) + 100 <= kMaxPath) return 0;
    call.Log(msg::kTooLong, call.function(), dir.c_str(), name);
    return QVAPI_ERR_INVALID_PARAMETER;
}

bool TimesOf(const std::string& path, win::FILETIME& created, win::FILETIME& written) {
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(path, data);
    if (!walk.valid()) return false;
    created = data.ftCreationTime;
    written = data.ftLastWriteTime;
    return true;
}

uint32_t FindJobGen(CallContext& call, const char* folderText, const char* name, QVAPI_JOBGEN* out) {
    const char* fn = call.function();
    if (out == nullptr || name == nullptr || name[0] == '\0') {
        call.Log(out == nullptr ? msg::kRecordNull : msg::kJobGenNameNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::memset(out, 0, sizeof *out);
    if (CheckName(name) != 0) return QVAPI_ERR_INVALID_NAME;
    std::string folder;
    if (CheckFolder(folderText, false, folder) != 0) return QVAPI_ERR_INVALID_PARAMETER;
    const std::string folderDir = StoreRoot() + folder;
    if (!folder.empty() && !IsDirectory(folderDir)) return QVAPI_ERR_NOT_FOUND;
    JobGenMutex mutex;
    if (uint32_t code = mutex.Take(fn, MutexName(folder, name)); code != 0) return code;
    const std::string dir = folderDir + "\\" + name;
    if (!PutRightKilledWriters(call, dir, name)) return QVAPI_ERR_RESOURCE;
    if (!Exists(dir)) return QVAPI_ERR_NOT_FOUND;
    const std::string file = dir + "\\" + kJobGenFile;
    FileHandle handle(win::CreateFile(file.c_str(), win::GENERIC_READ | win::GENERIC_WRITE,
                                      win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr));
    win::FILETIME created{}, written{};
    if (!handle.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND) {
            out->uiKind = QVAPI_JOBGEN_FOLDER;
            if (!TimesOf(dir, created, written)) return QVAPI_ERR_RESOURCE;
        } else {
            call.Log(msg::kCreateFile, fn, file.c_str(), static_cast<int>(error));
            return error == win::ERROR_PATH_NOT_FOUND        ? QVAPI_ERR_NOT_FOUND
                   : error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_BUSY
                                                             : QVAPI_ERR_RESOURCE;
        }
    } else {
        JobGenHeader header{};
        win::DWORD read = 0;
        if (win::ReadFile(handle.get(), &header, kHeaderSize, &read, nullptr) == 0 || read != kHeaderSize ||
            win::GetFileTime(handle.get(), &created, nullptr, &written) == 0) {
            call.Log(msg::kReadFile, fn, file.c_str(), static_cast<int>(win::GetLastError()));
            return QVAPI_ERR_RESOURCE;
        }
        out->uiKind = header.idKind == kIdJobGen ? QVAPI_JOBGEN_IDJOBGEN : QVAPI_JOBGEN_JOBGEN;
    }
    // At most the field: a longer name is cut, never written past it.
    PutField(out->szName, sizeof out->szName, name);
    FormatFileTime(created, out->szCreated);
    FormatFileTime(written, out->szWritten);
    return 0;
}

}  // namespace

uint32_t CheckLevelName(CallContext& call, const char* name, bool oldWording) {
    if (name == nullptr || name[0] == '\0') {
        const bool isNull = name == nullptr;
        call.Log(oldWording ? (isNull ? msg::kOldNameNull : msg::kOldNameEmpty) : (isNull ? msg::kNameNull : msg::kNameEmpty),
                 call.function());
        return QVAPI_ERR_INVALID_NAME;
    }
    if (CheckName(name) != 0) {
        call.Log(msg::kNameInvalid, call.function(), name);
        return QVAPI_ERR_INVALID_NAME;
    }
    return 0;
}

int SelectFile(QVPAPI& block, const std::string& directory, win::WIN32_FIND_DATAA& data) {
    FindWalk walk(directory + "\\*", data);
    if (!walk.valid()) return -1;
    int counted = 0;
    do {
        const char* name = data.cFileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) return 3;
        if (win::_stricmp(name, "jobexecfile") == 0) {
            const size_t sep = win::FindLastSeparator(directory);
            const std::string last = sep == std::string::npos ? directory : directory.substr(sep + 1);
            return last.rfind("IB", 0) == 0 || last.rfind("IS", 0) == 0 ? 5 : 4;
        }
        if (win::_stricmp(name, "PB000000") == 0 || win::_stricmp(name, "PA000000") == 0) continue;
        if (win::_stricmp(name, kJobGenFile) == 0) {
            JobGenHeader header{};
            void* buffer = &header;
            uint32_t size = kHeaderSize;
            if (qvpAPIFileCopy(&block, (directory + "\\" + name).c_str(), &buffer, &size, nullptr, 0) < 0) {
                qvpDllLog(msg::kFileCopy, "qvAPISelectFile", qvAPIGetLastError());
                return -1;
            }
            return header.idKind == kIdJobGen ? 5 : 4;
        }
        ++counted;
    } while (walk.Next(data));
    return win::GetLastError() == win::ERROR_NO_MORE_FILES && counted == 0 ? 3 : -1;
}

bool ListWorkArea(const std::string& dir, bool directories, std::vector<std::string>& names) {
    names.clear();
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(dir + "\\*", data);
    if (!walk.valid()) return false;
    do {
        const std::string_view name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) == directories) names.emplace_back(name);
    } while (walk.Next(data));
    return win::GetLastError() == win::ERROR_NO_MORE_FILES;
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPICreateFolderJobGen(const char* lpParentFolder, const char* lpFolderName, uint32_t,
                                                     uint32_t) {
    return qvp::RunApi(kCreateFolder, 0, [&](qvp::CallContext& call) {
        std::string dir;
        uint32_t code = CheckLevelName(call, lpFolderName);
        // No longer than a rename may make it: the listing's name field then always ends it,
        // and a JobGen can be made in it.
        if (code == 0 && std::strlen(lpFolderName) > kLongestShortName) {
            call.Log(msg::kNameTooLong, call.function(), lpFolderName);
            code = QVAPI_ERR_INVALID_NAME;
        }
        if (code == 0) code = ParentDir(call, lpParentFolder, dir);
        if (code == 0) code = LengthRule(call, dir, lpFolderName);
        if (code != 0) return Finish(call, code);
        // The store's JobGen folder comes with its first folder, as with its first JobGen; a
        // parent folder the caller names must be there.
        if (dir == StoreRoot() && !qvpCreateDirectoryTree(dir.c_str())) {
            call.Log(msg::kCreateDirectory, call.function(), static_cast<int>(win::GetLastError()), dir.c_str());
            return Finish(call, QVAPI_ERR_RESOURCE);
        }
        if (!IsDirectory(dir)) {
            call.Log(msg::kStat, call.function(), 2, dir.c_str());
            return Finish(call, QVAPI_ERR_INVALID_PARAMETER);
        }
        const std::string target = dir + "\\" + lpFolderName;
        if (win::CreateDirectory(target.c_str(), nullptr) == 0) {
            const win::DWORD error = win::GetLastError();
            call.Log(msg::kCreateDirectory, call.function(), static_cast<int>(error), target.c_str());
            return Finish(call, error == win::ERROR_ALREADY_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE);
        }
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIChangeFolderJobGen(const char* lpParentFolder, const char* lpOldName,
                                                     const char* lpNewName, uint32_t, uint32_t) {
    return qvp::RunApi(kChangeFolder, 0, [&](qvp::CallContext& call) {
        std::string dir;
        uint32_t code = CheckLevelName(call, lpOldName, true);
        if (code == 0) code = CheckLevelName(call, lpNewName);
        if (code == 0 && qvp::nodes::qvAPINameParameterCheck(lpNewName, kNameJobGenFolder) == 0) code = qvAPIGetLastError();
        if (code == 0) code = ParentDir(call, lpParentFolder, dir);
        if (code == 0) code = LengthRule(call, dir, lpNewName);
        if (code != 0) return Finish(call, code);
        const std::string from = dir + "\\" + lpOldName;
        const std::string to = dir + "\\" + lpNewName;
        if (!IsDirectory(from)) {
            call.Log(msg::kStat, call.function(), 2, from.c_str());
            return Finish(call, QVAPI_ERR_NOT_FOUND);
        }
        if (Exists(to)) {
            call.Log(msg::kStat, call.function(), 183, to.c_str());
            return Finish(call, QVAPI_ERR_ALREADY_EXISTS);
        }
        if (win::MoveFile(from.c_str(), to.c_str()) == 0) {
            call.Log(msg::kMove, call.function(), from.c_str(), to.c_str(), static_cast<int>(win::GetLastError()));
            return Finish(call, QVAPI_ERR_RESOURCE);
        }
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteFolderJobGen(const char* lpParentFolder, const char* lpFolderName, uint32_t,
                                                     uint32_t) {
    return qvp::RunApi(kDeleteFolder, 0, [&](qvp::CallContext& call) {
        std::string dir;
        uint32_t code = CheckLevelName(call, lpFolderName);
        if (code == 0) code = ParentDir(call, lpParentFolder, dir);
        if (code != 0) return Finish(call, code);
        const std::string target = dir + "\\" + lpFolderName;
        if (!IsDirectory(target)) {
            call.Log(msg::kStat, call.function(), 2, target.c_str());
            return Finish(call, QVAPI_ERR_NOT_FOUND);
        }
        if (gaiCOMDirectoryDeleteAll(target.c_str()) != 0) {
            call.Log(msg::kDeleteAll, call.function(), target.c_str(), static_cast<int>(win::GetLastError()));
            return Finish(call, QVAPI_ERR_RESOURCE);
        }
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindJobGen(const char* lpFolder, const char* lpJobGenName, QVAPI_JOBGEN* lpJobGen,
                                             uint32_t, uint32_t) {
    return qvp::RunApi(kFindJobGen, 0, [&](qvp::CallContext& call) {
        return Finish(call, FindJobGen(call, lpFolder, lpJobGenName, lpJobGen));
    });
}

// The copiers of a rebuilt JobGen: side files of particular job kinds put into its store
// directory under their fixed names, never replacing one.

#include <cstring>
#include <string>

#include "jobgen/jobgen_make.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kIdFrame{"qvpAPIJobGenMakeIDProc"};
constexpr FrameTexts kProcFrame{"qvpAPIJobGenMakeProc"};
constexpr FrameTexts kUinvFrame{"qvpAPIJobGenMakeUinvProc"};
constexpr FrameTexts kRegFrame{"qvpAPIJobGenMakeRegProc"};
constexpr FrameTexts kNeFrame{"qvAPIJobGenMakeNEProc"};

namespace msg {
constexpr char kSourceNull[] = "%s : Logical Error : Source File Pointer is NULL";
constexpr char kProcInvalid[] = "%s : lpProcFilePath is INVALID : %s";
constexpr char kSubFolderInvalid[] = "%s : Logical Error : Sub Folder is INVALID : %s";
constexpr char kPathOver[] = "%s : Logical Error : File Name Over MAX_PATH";
}  // namespace msg

constexpr size_t kProcNameMax = 8;

// The part of a path after its last separator.
std::string FileNameOf(const std::string& path) {
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

// The JobGen's store directory for a copier: 0 or 0x20000057.
uint32_t Directory(CallContext& call, const char* folder, const char* name, const char* source, std::string& dir) {
    if (source == nullptr || source[0] == '\0') {
        call.Log(msg::kSourceNull, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::string normalised;
    if (uint32_t code = MakeTarget(call, folder, name, normalised); code != 0) return code;
    dir = StoreRoot() + normalised + "\\" + name;
    return 0;
}

// Copies `source` to `target`, never replacing: 0, 0x20000057 (too long) or 0x20100000.
uint32_t CopyNew(CallContext& call, const char* source, const std::string& target) {
    if (target.size() > kMaxPath) {
        call.Log(msg::kPathOver, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (win::CopyFile(source, target.c_str(), win::TRUE) == 0) {
        const int error = static_cast<int>(win::GetLastError());
        call.Log(makemsg::kCopy, call.function(), error, source);
        call.Log(makemsg::kCopy, call.function(), error, target.c_str());
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

// The copiers that take a source of one fixed name and copy it under that name.
uint32_t CopyNamed(CallContext& call, const char* folder, const char* name, const char* source, const char* fixed) {
    std::string dir;
    if (uint32_t code = Directory(call, folder, name, source, dir); code != 0) return code;
    if (win::_stricmp(FileNameOf(source).c_str(), fixed) != 0) return 0;
    return CopyNew(call, source, dir + "\\" + fixed);
}

uint32_t CopyProc(CallContext& call, const char* folder, const char* name, const char* source) {
    std::string dir;
    if (uint32_t code = Directory(call, folder, name, source, dir); code != 0) return code;
    const std::string path = source;
    const std::string file = FileNameOf(path).substr(0, kProcNameMax);
    if (file.size() == path.size() || CheckName(file.c_str()) != 0) {
        call.Log(msg::kProcInvalid, call.function(), source);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    return CopyNew(call, source, dir + "\\" + file);
}

uint32_t CopyUinv(CallContext& call, const char* folder, const char* name, const char* source, const char* sub) {
    std::string dir;
    if (uint32_t code = Directory(call, folder, name, source, dir); code != 0) return code;
    const std::string file = FileNameOf(source);
    if (win::_stricmp(file.c_str(), "UL000000") == 0) return CopyNew(call, source, dir + "\\UL000000");
    if (win::_stricmp(file.c_str(), "UI000000") != 0) return 0;
    // The sub-folder is one level inside the JobGen, never a way out of it.
    if (CheckName(sub) != 0) {
        call.Log(msg::kSubFolderInvalid, call.function(), sub == nullptr ? "" : sub);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const std::string subDir = dir + "\\" + sub;
    bool made = true;
    if (win::CreateDirectory(subDir.c_str(), nullptr) == 0) {
        const win::DWORD error = win::GetLastError();
        if (error != win::ERROR_ALREADY_EXISTS) {
            call.Log(makemsg::kCreateDirectory, call.function(), static_cast<int>(error), subDir.c_str());
            return QVAPI_ERR_RESOURCE;
        }
        made = false;
    }
    const uint32_t code = CopyNew(call, source, subDir + "\\UI000000");
    if (code != 0 && made) win::RemoveDirectory(subDir.c_str());
    return code;
}

}  // namespace

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMakeIDProc(const char* lpFolder, const char* lpJobGenName,
                                                    const char* lpSourceFile) {
    return qvp::RunApi(kIdFrame, 0, [&](qvp::CallContext& call) {
        std::string dir;
        uint32_t code = Directory(call, lpFolder, lpJobGenName, lpSourceFile, dir);
        if (code == 0) code = CopyNew(call, lpSourceFile, dir + "\\IDF00000");
        return Finish(call, code);
    });
}

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMakeProc(const char* lpFolder, const char* lpJobGenName,
                                                  const char* lpProcFilePath) {
    return qvp::RunApi(kProcFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, CopyProc(call, lpFolder, lpJobGenName, lpProcFilePath));
    });
}

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMakeUinvProc(const char* lpFolder, const char* lpJobGenName,
                                                      const char* lpSourceFile, const char* lpSubFolder) {
    return qvp::RunApi(kUinvFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, CopyUinv(call, lpFolder, lpJobGenName, lpSourceFile, lpSubFolder));
    });
}

extern "C" QVPAPI_EXPORT int qvpAPIJobGenMakeRegProc(const char* lpFolder, const char* lpJobGenName,
                                                     const char* lpSourceFile) {
    return qvp::RunApi(kRegFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, CopyNamed(call, lpFolder, lpJobGenName, lpSourceFile, "YL000000"));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIJobGenMakeNEProc(const char* lpFolder, const char* lpJobGenName,
                                                   const char* lpSourceFile) {
    return qvp::RunApi(kNeFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, CopyNamed(call, lpFolder, lpJobGenName, lpSourceFile, "NE000000"));
    });
}

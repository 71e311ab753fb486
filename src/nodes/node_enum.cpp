// Enumerations of the node-definition store: the nodes directly below a master (or at the
// top), and the nodes whose name or address matches a search text. One walk of each family per
// thread; the handle is the thread's block.
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/frame.h"
#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
// The names the finders' texts carry; some of them have always spelt it "Definiton".
constexpr char kFirstName[] = "qvAPIFindFirstNodeDefinition";
constexpr char kFirstSpelt[] = "qvAPIFindFirstNodeDefiniton";
constexpr char kNextName[] = "qvAPIFindNextNodeDefinition";
constexpr char kNextSpelt[] = "qvAPIFindNextNodeDefiniton";

constexpr char kFirstNoRecord[] = "%s : Parameter Error : QVAPI_NODE Struct Address is NULL";
constexpr char kFirstFindFirst[] = "%s : FindFirstFile %s : ErrorCode = %d";
constexpr char kFindNext[] = "%s : FindNextFile : ErrorCode = %d";
constexpr char kFirstBadUpper[] = "%s : Parameter Error : %s  is INVALID";
constexpr char kNoFile[] = "%s : File Not Found Error : %s\\(M or C or other).%s is INVALID";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kFileSize[] = "%s : GetFileSize %s : ErrorCode = %d";

constexpr char kNextBadHandle[] =
    "%s : Parameter Error : FindNodeDefinition Handle Value is INVALID";
constexpr char kNextNoRecord[] = "%s : Logical Error : QVAPI_NODE Struct Address is NULL";

constexpr char kCloseBadHandle[] = "%s : Logical Error : FindNodeDefinition HANDLE Value is INVALID";

constexpr char kGuiNull[] = "%s : Parameter Error : lpGuiName Value is NULL";
constexpr char kGuiNoRecord[] = "%s : Parameter Error : QVAPI_NODE Struct Address is NULL";
constexpr char kGuiTooLong[] = "%s : Parameter Error : lpGuiName Value is INVALID";
constexpr char kGuiFindFirst[] = "%s : FindFirstFile %s : ErrorCode = %d";
constexpr char kGuiCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kGuiReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kGuiNext[] = "%s : qvAPIFindNextNodeDefinitionByGuiName : ErrorCode = %d";
constexpr char kGuiBadHandle[] = "%s : Parameter Error : FindNodeDefinition Handle Value is INVALID";
constexpr char kGuiNextNoRecord[] = "%s : Logical Error : QVAPI_NODE Struct Address is NULL";
}  // namespace msg

constexpr FrameTexts kFirstFrame{"qvAPIFindFirstNodeDefinition", EndStyle::Hex, nullptr, nullptr,
                                 text::kLogicalError};
constexpr FrameTexts kNextFrame{"qvAPIFindNextNodeDefinition", EndStyle::Hex, nullptr, nullptr,
                                text::kLogicalError};
constexpr FrameTexts kCloseFrame{"qvAPIFindCloseNodeDefinition", EndStyle::Hex, nullptr, nullptr,
                                 text::kLogicalError};
constexpr FrameTexts kGuiFirstFrame{"qvAPIFindFirstNodeDefinitionByGuiName", EndStyle::Hex, nullptr,
                                    nullptr, text::kLogicalError};
constexpr FrameTexts kGuiNextFrame{"qvAPIFindNextNodeDefinitionByGuiName", EndStyle::Hex, nullptr,
                                   nullptr, text::kLogicalError};
constexpr FrameTexts kGuiCloseFrame{"qvAPIFindCloseNodeDefinitionByGuiName", EndStyle::Hex, nullptr,
                                    nullptr, text::kLogicalError};

constexpr size_t kSearchTextMax = 64;
constexpr uint32_t kPartMatch = 0x01;
constexpr uint32_t kIgnoreCase = 0x02;

// The state of one walk: the platform walk and the upper node ("\" at the top) or the search
// text.
struct DefinitionFind {
    FindWalk find;
    std::string text;
    std::string nodeDef;  // the directory the search walks
};

void EndFind(void*& slot) {
    delete static_cast<DefinitionFind*>(slot);
    slot = nullptr;
}

void EndAll(QVPAPI& block) {
    EndFind(block.nodeDefinitionFind);
    EndFind(block.guiNameFind);
}

void RegisterRelease() {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&EndAll); });
}

bool IsDotEntry(const win::WIN32_FIND_DATAA& data) {
    const std::string_view name = FieldText(data.cFileName, sizeof data.cFileName);
    return name == "." || name == "..";
}

bool IsDirectoryEntry(const win::WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The names the failing steps of the first and the next step log under.
struct StepNames {
    const char* noFile;
    const char* createFile;
    const char* readFile;
    const char* attrCreateFile;
};
constexpr StepNames kFirstNames{msg::kFirstSpelt, msg::kFirstSpelt, msg::kFirstName, msg::kFirstSpelt};
constexpr StepNames kNextNames{msg::kNextName, msg::kNextName, msg::kNextName, msg::kNextSpelt};

uint32_t OpenFailure(win::DWORD error) {
    return error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE;
}

enum class EntryRead { Read, NoNode, Failed };

// The record of the key directory `dir` of `listed` (M.<dir>, else C.<dir>) whose upper node is
// `upper`, with its group flag, copied out. A directory that no definition places there is what
// a killed writer left: no node, passed over.
EntryRead ReadEntryRecord(CallContext& call, const StepNames& names, const std::string& listed,
                          const std::string& dir, const std::string& upper, QVAPI_NODE* out) {
    const std::string nodeDef = NodeDefDir();
    const bool top = upper == kRootGroupPath;
    QVAPI_NODE record;
    bool found = false;
    for (const char* letter : {"\\M.", "\\C."}) {
        const std::string path = nodeDef + letter + dir;
        if (!Exists(path)) continue;
        win::DWORD error = 0;
        bool readFailed = false;
        if (!ReadRecordFile(path, record, error, readFailed)) {
            call.Failed(readFailed ? QVAPI_ERR_RESOURCE : OpenFailure(error),
                        readFailed ? msg::kReadFile : msg::kCreateFile,
                        readFailed ? names.readFile : names.createFile, path.c_str(),
                        static_cast<int>(error));
            return EntryRead::Failed;
        }
        const std::string_view hostIdPath = Field(record.ucHostIDPath);
        const std::string_view recordUpper = hostIdPath.empty() ? Field(record.ucNodePath0) : hostIdPath;
        if (recordUpper == upper) {
            found = true;
            break;
        }
    }
    if (!found) {
        if (!KeyDirOwned(nodeDef, listed + "\\" + dir)) return EntryRead::NoNode;
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNoFile, names.noFile, nodeDef.c_str(), dir.c_str());
        return EntryRead::Failed;
    }
    // Below a master the path comes from the record's own key fields.
    if (!top && !StoredPathFieldsUsable(record)) {
        call.Log(text::kStoredPathInvalid, call.function(), dir.c_str());
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return EntryRead::Failed;
    }
    std::string attrPath = nodeDef;
    if (top) {
        attrPath += "\\" + dir;
    } else if (record.ucHostIDFlag == 1 || record.ucSystemKey == 0) {
        attrPath.append(Field(record.ucNodeKeyPath));
        attrPath += "\\";
        attrPath.append(Field(record.ucNodeKey));
    } else {
        const std::string_view keyPath = Field(record.ucNodeKeyPath);
        attrPath.append(keyPath.empty() ? Field(record.ucNodePath0) : keyPath);
        attrPath += "\\" + dir;
    }
    attrPath += "\\";
    attrPath += kAttributionFileName;
    {
        FileHandle attr = OpenExclusive(attrPath);
        if (!attr.valid()) {
            const win::DWORD error = win::GetLastError();
            call.Failed(OpenFailure(error),
                        msg::kCreateFile, names.attrCreateFile, attrPath.c_str(), static_cast<int>(error));
            return EntryRead::Failed;
        }
        uint32_t size = 0;
        if (!FileSize(attr.get(), &size)) {
            call.Failed(QVAPI_ERR_RESOURCE, msg::kFileSize, msg::kFirstSpelt, attrPath.c_str(), LastErr());
            return EntryRead::Failed;
        }
        record.uiNodeGroupFlag = size > kAttributionHeadSize ? 1 : 0;
    }
    record.ucSystemKey = call.block().systemManagementKey;
    CopyNodeOut(call.block(), record, out);
    return EntryRead::Read;
}

// The next key directory of the walk; false at the end (0x20000103) or on a walk error.
bool NextDirectory(CallContext& call, DefinitionFind& find, win::WIN32_FIND_DATAA& data,
                   bool haveEntry) {
    for (;;) {
        if (haveEntry && IsDirectoryEntry(data) && !IsDotEntry(data)) return true;
        if (!find.find.Next(data)) {
            if (win::GetLastError() == win::ERROR_NO_MORE_FILES) {
                call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
            } else {
                call.Log(msg::kFindNext, call.function(), LastErr());
                call.Fail(QVAPI_ERR_RESOURCE);
            }
            return false;
        }
        haveEntry = true;
    }
}

// A listing that cannot start because the directory or its entries are missing has no children;
// anything else (permissions, I/O) is a failure, never an empty master. `quietWhenEmpty`: the
// empty case is no news worth a log line.
bool StartListing(CallContext& call, DefinitionFind& find, const std::string& pattern,
                  win::WIN32_FIND_DATAA& data, const char* findFirstText, bool quietWhenEmpty) {
    find.find = FindWalk(pattern, data);
    if (find.find.valid()) return true;
    const win::DWORD error = win::GetLastError();
    const bool empty = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
    if (!empty || !quietWhenEmpty)
        call.Log(findFirstText, call.function(), pattern.c_str(), static_cast<int>(error));
    call.Fail(empty ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_RESOURCE);
    return false;
}

QVPAPI_HANDLE FindFirstDefinition(CallContext& call, const char* upperNode, QVAPI_NODE* out) {
    if (out == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kFirstNoRecord, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    const std::string nodeDef = NodeDefDir();
    const bool top = upperNode == nullptr || *upperNode == '\0' ||
                     std::string_view(upperNode) == kRootGroupPath;
    const std::string upper = top ? std::string(kRootGroupPath)
                                  : std::string(upperNode, strnlen(upperNode, win::MAX_PATH));
    std::string listed = nodeDef;
    if (!top) {
        const size_t cut = win::FindLastSeparator(upper);
        const std::string last = cut == std::string::npos ? upper : upper.substr(cut + 1);
        QVAPI_NODE master;
        if (const uint32_t code = ReadMasterDefinition(call.block(), call.function(), last, master);
            code != 0) {
            const bool absent = code == QVAPI_ERR_FILE_NOT_FOUND || code == QVAPI_ERR_NOT_FOUND;
            call.Fail(absent ? QVAPI_ERR_NO_MORE_ITEMS : code);
            return QVPAPI_INVALID_HANDLE;
        }
        if (upper.front() != '\\') {
            call.Failed(QVAPI_ERR_INVALID_NAME, msg::kFirstBadUpper, msg::kFirstSpelt, upper.c_str());
            return QVPAPI_INVALID_HANDLE;
        }
        if (!StoredPathFieldsUsable(master)) {
            call.Log(text::kStoredPathInvalid, call.function(), last.c_str());
            call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
            return QVPAPI_INVALID_HANDLE;
        }
        const std::string_view keyPath = Field(master.ucNodeKeyPath);
        if (master.ucHostIDFlag == 1 || master.ucSystemKey == 0) {
            listed.append(keyPath);
            listed += "\\";
            listed.append(Field(master.ucNodeKey));
        } else if (keyPath.empty()) {
            listed += upper;
        } else {
            listed.append(keyPath);
            listed += "\\" + last;
        }
    }
    auto find = std::make_unique<DefinitionFind>();
    find->text = upper;
    find->nodeDef = listed;
    win::WIN32_FIND_DATAA data{};
    if (!StartListing(call, *find, listed + "\\*", data, msg::kFirstFindFirst, false))
        return QVPAPI_INVALID_HANDLE;
    for (bool haveEntry = true;; haveEntry = false) {
        if (!NextDirectory(call, *find, data, haveEntry)) return QVPAPI_INVALID_HANDLE;
        const std::string dir(FieldText(data.cFileName, sizeof data.cFileName));
        const EntryRead read = ReadEntryRecord(call, kFirstNames, listed, dir, upper, out);
        if (read == EntryRead::Failed) return QVPAPI_INVALID_HANDLE;
        if (read == EntryRead::Read) break;
    }
    // A new walk replaces (and ends) the thread's earlier one.
    EndFind(call.block().nodeDefinitionFind);
    RegisterRelease();
    call.block().nodeDefinitionFind = find.release();
    return &call.block();
}

bool FindNextDefinition(CallContext& call, const void* handle, QVAPI_NODE* out) {
    auto* find = static_cast<DefinitionFind*>(call.block().nodeDefinitionFind);
    if (!qvpIsOwnBlock(handle) || find == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, msg::kNextBadHandle, call.function());
    }
    if (out == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNextNoRecord, call.function());
    }
    win::WIN32_FIND_DATAA data{};
    for (;;) {
        if (!NextDirectory(call, *find, data, false)) return false;
        const std::string dir(FieldText(data.cFileName, sizeof data.cFileName));
        const EntryRead read = ReadEntryRecord(call, kNextNames, find->nodeDef, dir, find->text, out);
        if (read != EntryRead::NoNode) return read == EntryRead::Read;
    }
}

// ---- search by name or address --------------------------------------------------------------

// `needle` occurs in `haystack` at a character boundary (never from a trail byte).
bool ContainsDbcs(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    for (size_t at = 0; at + needle.size() <= haystack.size();) {
        if (haystack.compare(at, needle.size(), needle) == 0) return true;
        at += win::IsDBCSLeadByte(static_cast<uint8_t>(haystack[at])) && at + 1 < haystack.size() ? 2 : 1;
    }
    return false;
}

bool Matches(const QVPAPI& block, const QVAPI_NODE& record, const std::string& search,
             uint32_t options) {
    if (block.systemManagementKey == 1) {
        if ((options & kPartMatch) != 0) return ContainsDbcs(DottedAddress(record.ucNodeAddress), search);
        const uint32_t wanted = win::inet_addr(search.c_str());
        uint32_t stored = 0;
        std::memcpy(&stored, record.ucNodeAddress, sizeof stored);
        return wanted == stored;
    }
    const std::string_view name = Field(record.ucNodeName);
    switch (options & (kPartMatch | kIgnoreCase)) {
        case kPartMatch | kIgnoreCase:
            return ContainsDbcs(win::CharLower(name), win::CharLower(search));
        case kPartMatch:
            return ContainsDbcs(name, search);
        case kIgnoreCase:
            return EqualIgnoringCase(name, search);
        default:
            return name == search;
    }
}

enum class EntryMatch { Matched, Passed, Failed };

// Reads and matches one entry of the walk; directories are passed over.
EntryMatch MatchEntry(CallContext& call, const DefinitionFind& find,
                      const win::WIN32_FIND_DATAA& data, uint32_t options, QVAPI_NODE* out) {
    if (IsDirectoryEntry(data) || IsDotEntry(data) ||
        (data.dwFileAttributes & win::FILE_ATTRIBUTE_SYSTEM) != 0)
        return EntryMatch::Passed;
    const std::string path =
        find.nodeDef + "\\" + std::string(FieldText(data.cFileName, sizeof data.cFileName));
    QVAPI_NODE record;
    win::DWORD error = 0;
    bool readFailed = false;
    if (!ReadRecordFile(path, record, error, readFailed)) {
        call.Log(readFailed ? msg::kGuiReadFile : msg::kGuiCreateFile, call.function(), path.c_str(),
                 static_cast<int>(error));
        call.Fail(readFailed ? QVAPI_ERR_RESOURCE : OpenFailure(error));
        return EntryMatch::Failed;
    }
    if (!Matches(call.block(), record, find.text, options)) return EntryMatch::Passed;
    CopyNodeOut(call.block(), record, out);
    return EntryMatch::Matched;
}

// Reads files of the walk (directories passed over) until one matches.
bool NextMatch(CallContext& call, DefinitionFind& find, uint32_t options, QVAPI_NODE* out) {
    win::WIN32_FIND_DATAA data{};
    for (;;) {
        if (!find.find.Next(data)) {
            if (win::GetLastError() == win::ERROR_NO_MORE_FILES) {
                call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
            } else {
                call.Log(msg::kFindNext, call.function(), LastErr());
                call.Fail(QVAPI_ERR_RESOURCE);
            }
            return false;
        }
        const EntryMatch match = MatchEntry(call, find, data, options, out);
        if (match != EntryMatch::Passed) return match == EntryMatch::Matched;
    }
}

QVPAPI_HANDLE FindFirstByGuiName(CallContext& call, const char* guiName, QVAPI_NODE* out,
                                 uint32_t options) {
    if (guiName == nullptr || *guiName == '\0') {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kGuiNull, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    if (out == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kGuiNoRecord, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    if (strnlen(guiName, kSearchTextMax + 1) > kSearchTextMax) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kGuiTooLong, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    QVPAPI& block = call.block();
    EndFind(block.guiNameFind);
    auto find = std::make_unique<DefinitionFind>();
    find->text = guiName;
    find->nodeDef = NodeDefDir();
    win::WIN32_FIND_DATAA data{};
    if (!StartListing(call, *find, find->nodeDef + "\\?.*", data, msg::kGuiFindFirst, true))
        return QVPAPI_INVALID_HANDLE;
    const EntryMatch first = MatchEntry(call, *find, data, options, out);
    if (first == EntryMatch::Failed) return QVPAPI_INVALID_HANDLE;
    RegisterRelease();
    block.guiNameFind = find.release();
    if (first == EntryMatch::Matched) return &block;
    // The rest of the search is the next step's, run as callers run it.
    if (qvAPIFindNextNodeDefinitionByGuiName(&block, out, options, 0) == 1) return &block;
    const uint32_t code = qvAPIGetLastError();
    if (code != QVAPI_ERR_NO_MORE_ITEMS)
        call.Log(msg::kGuiNext, call.function(), static_cast<int>(code));
    EndFind(block.guiNameFind);
    call.Fail(code);
    return QVPAPI_INVALID_HANDLE;
}

bool FindNextByGuiName(CallContext& call, const void* handle, QVAPI_NODE* out, uint32_t options) {
    auto* find = static_cast<DefinitionFind*>(call.block().guiNameFind);
    if (!qvpIsOwnBlock(handle) || find == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, msg::kGuiBadHandle, call.function());
    }
    if (out == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kGuiNextNoRecord, call.function());
    }
    return NextMatch(call, *find, options, out);
}

bool CloseWalk(CallContext& call, const void* handle, void*& slot, const char* badHandleText) {
    if (!qvpIsOwnBlock(handle) || slot == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_HANDLE, badHandleText, call.function());
    }
    EndFind(slot);
    return true;
}

}  // namespace

NodeDefinitionWalkNest::NodeDefinitionWalkNest(QVPAPI& block)
    : block_(block), outer_(block.nodeDefinitionFind) {
    block_.nodeDefinitionFind = nullptr;
}

NodeDefinitionWalkNest::~NodeDefinitionWalkNest() {
    EndFind(block_.nodeDefinitionFind);
    block_.nodeDefinitionFind = outer_;
}

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeDefinition(const char* lpUpperNode,
                                                                    QVAPI_NODE* lpNodeData) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstDefinition(call, lpUpperNode, lpNodeData);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNodeDefinition(QVPAPI_HANDLE hFindNode,
                                                         QVAPI_NODE* lpNodeData) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        return FindNextDefinition(call, hFindNode, lpNodeData) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNodeDefinition(QVPAPI_HANDLE hFindNode) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) {
        return CloseWalk(call, hFindNode, call.block().nodeDefinitionFind, msg::kCloseBadHandle) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstNodeDefinitionByGuiName(const char* lpGuiName,
                                                                             QVAPI_NODE* lpNodeData,
                                                                             uint32_t fdwOptions,
                                                                             uint32_t) {
    return qvp::RunApi(kGuiFirstFrame, QVPAPI_INVALID_HANDLE, [&](CallContext& call) {
        return FindFirstByGuiName(call, lpGuiName, lpNodeData, fdwOptions);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextNodeDefinitionByGuiName(QVPAPI_HANDLE hFindNode,
                                                                  QVAPI_NODE* lpNodeData,
                                                                  uint32_t fdwOptions, uint32_t) {
    return qvp::RunApi(kGuiNextFrame, 0, [&](CallContext& call) {
        return FindNextByGuiName(call, hFindNode, lpNodeData, fdwOptions) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindCloseNodeDefinitionByGuiName(QVPAPI_HANDLE hFindNode) {
    return qvp::RunApi(kGuiCloseFrame, 0, [&](CallContext& call) {
        return CloseWalk(call, hFindNode, call.block().guiNameFind, msg::kGuiBadHandle) ? 1 : 0;
    });
}

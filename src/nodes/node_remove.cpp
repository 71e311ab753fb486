// Removal of a node's entries: its flat definition file, one back-link of its
// nodeattributionfile, one member entry of a nodegroupfile.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/fileutil.h"
#include "core/frame.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kKeyNull[] = "%s : Parameter Error : Node Name Address is NULL";
constexpr char kNameNull[] = "%s : Parameter Error : Node Name Pointer is NULL";
constexpr char kNameEmpty[] = "%s : Parameter Error : Top of Node Name Value is NULL";
constexpr char kBadOptions[] = "%s : Parameter Error : fdwOptions Value is INVALID";
constexpr char kPathNull[] = "%s : Parameter Error : NodeGroupPath Name Pointer is NULL";
constexpr char kPathEmpty[] = "%s : Parameter Error : Top of NodeGroupPath Name Value is NULL";
constexpr char kClientRead[] = "%s : qvAPIGetClientDefinitionByName %s : ErrorCode = %d";
constexpr char kMasterRead[] = "%s : qvAPIGetMasterDefinitionByName %s : ErrorCode = %d";
constexpr char kAttrBadSize[] = "%s : FileSize is INVALID : file = %s size = %u";
constexpr char kNotFound[] = "%s : Parameter Error : %s NOT FOUND";
constexpr char kGroupPathNull[] = "%s : Parameter error : NodeGroup Path Address is NULL";
constexpr char kGroupPathEmpty[] = "%s : Parameter error : Top of NodeGroup Path Value is NULL";
constexpr char kGroupMemberNull[] = "%s : Parameter error : Member Name Address is NULL";
constexpr char kGroupMalformed[] =
    "%s : FileSize is INVALID : file = %s size = %u entries = %u bytes = %u";
// The file steps of every removal.
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kFileSize[] = "%s : GetFileSize %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kDeleteFile[] = "%s : DeleteFile %s : ErrorCode = %d";
constexpr char kSeek[] = "%s : SetFilePointer %s : ErrorCode = %d";
constexpr char kLock[] = "%s : LockFile %s : ErrorCode = %d";
constexpr char kWrite[] = "%s : WriteFile %s : ErrorCode = %d";
constexpr char kCut[] = "%s : SetEndOfFile %s : ErrorCode = %d";
}  // namespace msg

using text::kLogicalError;

constexpr FrameTexts kDefinitionFrame{"qvAPIDeleteNodeDefinitionEntry", EndStyle::Result, nullptr,
                                      nullptr, kLogicalError};
constexpr FrameTexts kAttributionFrame{"qvAPIDeleteNodeAttributionEntry", EndStyle::Result, nullptr,
                                       nullptr, kLogicalError};
constexpr FrameTexts kGroupEntryFrame{"qvAPIDeleteNodeGroupEntry", EndStyle::Result, nullptr,
                                      nullptr, kLogicalError};

constexpr int kDeleteTries = 11;
constexpr uint32_t kDeletePauseMs = 300;

// Opens `path` without sharing and reads what it announces into `image` (a head that disagrees
// with the file: the head alone), the file kept open for the rewrite; false with the call failed
// (`missingCode` when the file is not there, busy while another opener holds it).
bool OpenAndReadWhole(CallContext& call, const std::string& path, const DeclaredLayout& layout,
                      uint32_t missingCode, FileHandle& file, std::vector<uint8_t>& image, uint64_t& size) {
    file = OpenExclusive(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        const bool missing = error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
        return call.Failed(HeldOr(missing ? missingCode : QVAPI_ERR_RESOURCE, error),
                           msg::kCreateFile, call.function(), path.c_str(), static_cast<int>(error));
    }
    uint32_t measured = 0;
    if (!FileSize(file.get(), &measured)) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kFileSize, call.function(), path.c_str(), LastErr());
    }
    if (Unreadable(ReadDeclared(file.get(), layout, image, &size))) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kReadFile, call.function(), path.c_str(), LastErr());
    }
    return true;
}

// What follows the `cutSize` bytes at `cutAt` of `original`: the rewrites are made of pieces of
// the one image the caller holds, never of a second one.
std::span<const uint8_t> After(const std::vector<uint8_t>& original, size_t cutAt, size_t cutSize) {
    return std::span<const uint8_t>(original).subspan(cutAt + cutSize);
}

// Puts the file back as it was read, after a rewrite failed part way: a shifted tail or an
// uncut end would leave a damaged file that no later call could read.
void RestoreImage(win::HANDLE file, const std::vector<uint8_t>& original) {
    if (Seek(file, 0) && WriteAll(file, original.data(), static_cast<uint32_t>(original.size())))
        win::SetEndOfFile(file);
}

// Rewrites a nodeattributionfile without the back-link at `cutAt` in place, under a lock over
// the whole file: one write of the closed-up bytes, then the cut. A writer killed between the two
// leaves its last back-link twice, which removals and renames pass over, never a torn head.
bool RewriteInPlace(CallContext& call, win::HANDLE file, const std::string& path,
                    const std::vector<uint8_t>& original, size_t cutAt, size_t cutSize) {
    const std::span<const uint8_t> after = After(original, cutAt, cutSize);
    if (!Seek(file, static_cast<uint32_t>(cutAt))) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kSeek, call.function(), path.c_str(), LastErr());
    }
    RangeLock lock(file, 0, static_cast<win::DWORD>(original.size()));
    if (!lock.Lock()) {
        return call.Failed(QVAPI_ERR_RESOURCE, msg::kLock, call.function(), path.c_str(), LastErr());
    }
    if (!WriteAll(file, after.data(), static_cast<uint32_t>(after.size()))) {
        call.Log(msg::kWrite, call.function(), path.c_str(), LastErr());
        call.Fail(QVAPI_ERR_RESOURCE);
        RestoreImage(file, original);
        return false;
    }
    if (!lock.Unlock()) {
        call.Fail(QVAPI_ERR_RESOURCE);
        RestoreImage(file, original);
        return false;
    }
    if (!win::SetEndOfFile(file)) {
        call.Log(msg::kCut, call.function(), path.c_str(), LastErr());
        call.Fail(QVAPI_ERR_RESOURCE);
        RestoreImage(file, original);
        return false;
    }
    return true;
}

// Puts a group file's new bytes in its place whole: a writer killed part way leaves the old
// file or the new one, never a count that disagrees with the entries. The file read is let go
// first.
bool RewriteWhole(CallContext& call, FileHandle& file, const std::string& path,
                  std::initializer_list<std::span<const uint8_t>> pieces) {
    file.Reset();
    if (ReplaceWhole(path, pieces)) return true;
    return call.Failed(HeldOr(QVAPI_ERR_RESOURCE), msg::kWrite, call.function(), path.c_str(), LastErr());
}

}  // namespace

bool DeleteNodeDefinitionEntryIn(CallContext& call, const char* key, uint32_t options) {
    if (key == nullptr || *key == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_NAME,
                           key == nullptr ? msg::kKeyNull : msg::kNameEmpty, call.function());
    }
    const std::string nodeDef = NodeDefDir();
    qvpCreateDirectory(nodeDef.c_str());
    const char* prefix = options == kMemberClient ? "C." : options == kMemberMaster ? "M." : nullptr;
    if (prefix == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadOptions, call.function());
    }
    const std::string path = nodeDef + "\\" + prefix + key;
    if (win::DeleteFile(path.c_str())) return true;
    const win::DWORD error = win::GetLastError();
    // Gone already is what the caller wants; a file that stays (held open, I/O) would leave a
    // definition behind that its callers believe removed.
    if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return true;
    return call.Failed(QVAPI_ERR_RESOURCE,
                       msg::kDeleteFile, call.function(), path.c_str(), static_cast<int>(error));
}

bool DeleteNodeAttributionEntryIn(CallContext& call, const char* nodeName, const char* groupPath,
                                  uint32_t options, bool* notFound) {
    if (nodeName == nullptr || *nodeName == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_NAME,
                           nodeName == nullptr ? msg::kNameNull : msg::kNameEmpty, call.function());
    }
    if (groupPath == nullptr || *groupPath == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_NAME,
                           groupPath == nullptr ? msg::kPathNull : msg::kPathEmpty, call.function());
    }
    const uint32_t kind = NodeNameKind(nodeName);
    if (kind == 0) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return false;
    }
    if (options != kMemberClient && options != kMemberMaster) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadOptions, call.function());
    }
    QVAPI_NODE node;
    // The reader's own code goes into the log; the caller learns that there is no node, or that
    // its definition could not be read (busy while another opener holds it).
    const uint32_t readError =
        options == kMemberMaster ? ReadMasterDefinition(call.block(), call.function(), nodeName, node)
                                 : ReadClientDefinition(call.block(), call.function(), nodeName, node);
    if (readError != 0) {
        const bool unreadable = readError == QVAPI_ERR_NODE_FILE_BUSY || readError == QVAPI_ERR_BUSY ||
                                readError == QVAPI_ERR_RESOURCE;
        return call.Failed(unreadable ? readError : QVAPI_ERR_NOT_FOUND,
                           options == kMemberClient ? msg::kClientRead : msg::kMasterRead,
                           call.function(), nodeName, static_cast<int>(readError));
    }
    if (!StoredPathFieldsUsable(node)) {
        call.Log(text::kStoredPathInvalid, call.function(), nodeName);
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return false;
    }
    const std::string path = AttributionPathByName(node, kind, nodeName);
    FileHandle file;
    std::vector<uint8_t> image;
    uint64_t size = 0;
    if (!OpenAndReadWhole(call, path, kAttributionFileLayout, QVAPI_ERR_RESOURCE, file, image, size)) return false;
    // Only a head and whole back-links can be walked; anything else is refused untouched.
    if (image.size() < kAttributionHeadSize ||
        (image.size() - kAttributionHeadSize) % kBackLinkSize != 0) {
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           msg::kAttrBadSize, call.function(), path.c_str(), static_cast<unsigned>(image.size()));
    }
    const std::string_view wanted(groupPath, strnlen(groupPath, kBackLinkSize + 1));
    size_t found = 0;
    for (size_t at = kAttributionHeadSize; at < image.size(); at += kBackLinkSize) {
        if (FieldEquals(reinterpret_cast<const char*>(image.data() + at), kBackLinkSize, wanted) &&
            wanted.size() < kBackLinkSize) {
            found = at;
            break;
        }
    }
    if (found == 0) {
        if (notFound != nullptr) {
            *notFound = true;
            return true;
        }
        return call.Failed(QVAPI_ERR_INVALID_NAME, msg::kNotFound, call.function(), nodeName);
    }
    return RewriteInPlace(call, file.get(), path, image, found, kBackLinkSize);
}

bool DeleteNodeGroupEntryIn(CallContext& call, const char* groupPath, const char* memberName,
                            uint32_t kind, bool* notFound, std::vector<uint8_t>* original) {
    if (groupPath == nullptr || *groupPath == '\0') {
        return call.Failed(QVAPI_ERR_INVALID_NAME,
                           groupPath == nullptr ? msg::kGroupPathNull : msg::kGroupPathEmpty, call.function());
    }
    if (memberName == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_NAME, msg::kGroupMemberNull, call.function());
    }
    const std::string path = GroupFilePath(groupPath);
    FileHandle file;
    std::vector<uint8_t> image;
    if (notFound != nullptr && !Exists(path)) {
        // No file, no entries: nothing to take out.
        *notFound = true;
        return true;
    }
    uint64_t size = 0;
    if (!OpenAndReadWhole(call, path, kGroupFileLayout, QVAPI_ERR_NOT_FOUND, file, image, size)) return false;
    // A header that disagrees with the entries would be counted down past zero or cut the
    // wrong bytes: refuse before anything is compared or written.
    if (image.size() != size || !GroupImageWellFormed(image)) {
        NodeGroupHeader header{};
        std::memcpy(&header, image.data(), std::min(image.size(), sizeof header));
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           msg::kGroupMalformed, call.function(), path.c_str(), static_cast<unsigned>(size),
                           header.uiEntryCount, header.uiEntryBytes);
    }
    const long index = FindGroupEntry(image, memberName, kind);
    if (index < 0) {
        if (notFound != nullptr) {
            *notFound = true;
            return true;
        }
        return call.Failed(QVAPI_ERR_NOT_FOUND, msg::kNotFound, call.function(), memberName);
    }
    NodeGroupHeader header{};
    std::memcpy(&header, image.data(), sizeof header);
    header.uiEntryBytes -= kGroupEntrySize;
    header.uiEntryCount -= 1;
    bool done = true;
    if (header.uiEntryCount == 0) {
        file.Reset();
        if (!DeleteFileRetry(path, kDeleteTries, kDeletePauseMs)) {
            return call.Failed(QVAPI_ERR_RESOURCE, msg::kDeleteFile, call.function(), path.c_str(), LastErr());
        }
    } else {
        const size_t cutAt = kGroupHeaderSize + static_cast<size_t>(index) * kGroupEntrySize;
        done = RewriteWhole(call, file, path,
                            {std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&header), sizeof header),
                             std::span<const uint8_t>(image).subspan(kGroupHeaderSize, cutAt - kGroupHeaderSize),
                             After(image, cutAt, kGroupEntrySize)});
    }
    // The bytes read are the caller's to put back: handed over, never copied.
    if (done && original != nullptr) *original = std::move(image);
    return done;
}

}  // namespace qvp::nodes

using qvp::CallContext;

int qvp::nodes::qvAPIDeleteNodeDefinitionEntry(const char* lpNodeKey, uint32_t fdwOptions,
                                               uint32_t) {
    return qvp::RunApi(qvp::nodes::kDefinitionFrame, 0, [&](CallContext& call) {
        return qvp::nodes::DeleteNodeDefinitionEntryIn(call, lpNodeKey, fdwOptions) ? 1 : 0;
    });
}

int qvp::nodes::qvAPIDeleteNodeAttributionEntry(const char* lpNodeName, const char* lpNodeGroupPath,
                                    uint32_t fdwOptions, uint32_t) {
    return qvp::RunApi(qvp::nodes::kAttributionFrame, 0, [&](CallContext& call) {
        return qvp::nodes::DeleteNodeAttributionEntryIn(call, lpNodeName, lpNodeGroupPath,
                                                        fdwOptions)
                   ? 1
                   : 0;
    });
}

int qvp::nodes::qvAPIDeleteNodeGroupEntry(const char* lpNodeGroupPath, const char* lpMemberName,
                              uint32_t uiMemberKind, uint32_t) {
    return qvp::RunApi(qvp::nodes::kGroupEntryFrame, 0, [&](CallContext& call) {
        return qvp::nodes::DeleteNodeGroupEntryIn(call, lpNodeGroupPath, lpMemberName,
                                                  uiMemberKind)
                   ? 1
                   : 0;
    });
}

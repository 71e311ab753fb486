// Node-group writers: clients and masters added to and removed from groups, sub-groups created
// and removed. Each holds the node semaphore and the NODEDEF mutex for its whole call. A member
// is listed twice: as a 144-byte entry of the group's nodegroupfile and as a 260-byte back-link
// in its own nodeattributionfile; uiNodeGroupFlag in both copies of its definition says whether
// it has any back-link.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/fileutil.h"
#include "core/frame.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_texts.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kBadGroupPath[] = "%s : Parameter Error : NodeGroup Path %s is INVALID : ErrorCode = 0x%8.8x";
constexpr char kBadName[] = "%s : Parameter Error : Name Value is INVALID";
constexpr char kNoDefinition[] = "%s : Definition Not Found : %s : ErrorCode = 0x%8.8x";
constexpr char kNoGroup[] = "%s : NodeGroup Not Found : %s";
constexpr char kGroupExists[] = "%s : NodeGroup Already Exists : %s";
constexpr char kMemberExists[] = "%s : Member Already Exists : %s";
constexpr char kGroupNotEmpty[] = "%s : NodeGroup is not empty : %s";
constexpr char kCreateDirectory[] = "%s : CreateDirectory %s : ErrorCode = %d";
constexpr char kRemoveDirectory[] = "%s : RemoveDirectory %s : ErrorCode = %d";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kMalformed[] = "%s : FileSize is INVALID : file = %s size = %u";
constexpr char kLockFile[] = "%s : LockFile %s : ErrorCode = %d";
constexpr char kWriteFile[] = "%s : WriteFile %s : ErrorCode = %d";
}  // namespace msg

using text::kLogicalError;

constexpr FrameTexts kCreateClientFrame{"qvAPICreateClient", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kCreateMasterFrame{"qvAPICreateMaster", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kDeleteClientFrame{"qvAPIDeleteClient", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kDeleteMasterFrame{"qvAPIDeleteMaster", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kCreateGroupFrame{"qvAPICreateNodeGroup", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kDeleteGroupFrame{"qvAPIDeleteNodeGroup", EndStyle::Hex, nullptr, nullptr, kLogicalError};

constexpr uint32_t kGroupDeletePauseMs = 300;
constexpr int kGroupDeleteTries = 11;

uint32_t OpenFailureCode() { return HeldOr(QVAPI_ERR_RESOURCE); }

bool ValidMemberName(const char* name) {
    return name != nullptr && *name != '\0' && strnlen(name, QVAPI_NODE_NAME_LEN + 1) <= QVAPI_NODE_NAME_LEN;
}

// Checks a caller's group path; the stored spelling of it, or empty with the code set.
bool TakeGroupPath(CallContext& call, const char* given, std::string& stored) {
    const uint32_t code = given == nullptr ? QVAPI_ERR_INVALID_NAME : CheckGroupPath(given);
    if (code != 0) {
        return call.Failed(code,
                           msg::kBadGroupPath, call.function(),
                           given == nullptr ? "(null)" : given, code);
    }
    stored = StoredGroupPath(given);
    return true;
}

// The group's directory must be there; the root is made on first use.
bool GroupDirectoryReady(CallContext& call, const std::string& groupPath) {
    const std::string directory = GroupDirectoryPath(groupPath);
    if (groupPath == kRootGroupPath) {
        if (qvpCreateDirectoryTree(directory.c_str())) return true;
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kCreateDirectory, call.function(), directory.c_str(), LastErr());
    }
    if (IsDirectory(directory)) return true;
    return call.Failed(QVAPI_ERR_NOT_FOUND, msg::kNoGroup, call.function(), groupPath.c_str());
}

// Reads a group file as far as its head announces, the handle let go again: false with the call
// failed (busy while another opener holds it, unreadable past what its kind may hold). A missing
// file reads as empty; `read` tells a head that disagrees with the file's `size`.
bool ReadGroupFile(CallContext& call, const std::string& path, std::vector<uint8_t>& image, DeclaredRead& read,
                   uint64_t& size) {
    image.clear();
    size = 0;
    read = DeclaredRead::Read;
    FileHandle file = OpenExclusive(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND) return true;
        return call.Failed(OpenFailureCode(),
                           msg::kCreateFile, call.function(), path.c_str(), static_cast<int>(error));
    }
    read = ReadDeclared(file.get(), kGroupFileLayout, image, &size);
    if (!Unreadable(read)) return true;
    return call.Failed(QVAPI_ERR_RESOURCE, msg::kReadFile, call.function(), path.c_str(), LastErr());
}

// Puts a rewritten file in place whole; false with the call failed (busy while another opener
// holds the file).
bool PutWhole(CallContext& call, const std::string& path, std::initializer_list<std::span<const uint8_t>> pieces) {
    if (ReplaceWhole(path, pieces)) return true;
    return call.Failed(OpenFailureCode(), msg::kWriteFile, call.function(), path.c_str(), LastErr());
}

// Adds a zeroed entry of that name and kind to the group's file (a zeroed header first when
// there is none), counted in the header; the file is put in place whole.
bool AppendGroupEntry(CallContext& call, const std::string& groupPath, const std::string& name,
                      uint32_t kind) {
    const std::string path = GroupFilePath(groupPath);
    std::vector<uint8_t> image;
    DeclaredRead read;
    uint64_t size = 0;
    if (!ReadGroupFile(call, path, image, read, size)) return false;
    if (size == 0) image.assign(kGroupHeaderSize, 0);
    if (read == DeclaredRead::Malformed || !GroupImageWellFormed(image)) {
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           msg::kMalformed, call.function(), path.c_str(),
                           static_cast<unsigned>(size));
    }
    if (FindGroupEntry(image, name, kind) >= 0) {
        return call.Failed(QVAPI_ERR_ALREADY_EXISTS,
                           msg::kMemberExists, call.function(), name.c_str());
    }
    NodeGroupEntry entry{};
    FieldSet(entry.ucMemberName, kGroupMemberNameSize, name);
    entry.uiMemberKind = kind;
    NodeGroupHeader header;
    std::memcpy(&header, image.data(), sizeof header);
    header.uiEntryBytes += kGroupEntrySize;
    header.uiEntryCount += 1;
    std::memcpy(image.data(), &header, sizeof header);
    // The entry follows the bytes read as a piece of its own: no second image of the file.
    return PutWhole(call, path, {image, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&entry), sizeof entry)});
}

// Whether the group of a back-link still lists the member: a back-link whose group does not
// is what a writer killed between the two files left, and goes with the next write. A group
// file that cannot be read now keeps its back-links.
bool LinkStands(std::string_view groupPath, const std::string& memberName, uint32_t kind) {
    if (CheckGroupPath(groupPath) != 0) return true;  // not ours to judge
    FileHandle file = OpenExclusive(GroupFilePath(groupPath));
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        return error != win::ERROR_FILE_NOT_FOUND && error != win::ERROR_PATH_NOT_FOUND;
    }
    std::vector<uint8_t> image;
    return ReadDeclared(file.get(), kGroupFileLayout, image) != DeclaredRead::Read || !GroupImageWellFormed(image) ||
           FindGroupEntry(image, memberName, kind) >= 0;
}

// Adds the back-link to the node's nodeattributionfile unless it is there already (`written`
// says which). Back-links whose groups no longer list the node, and a back-link repeated (a
// removal killed before its cut), go in the same write, which then puts the file in place
// whole; otherwise the back-link is appended in one write.
bool AppendBackLink(CallContext& call, const std::string& attrPath, const std::string& groupPath,
                    const std::string& memberName, uint32_t kind, bool& written) {
    written = false;
    FileHandle file = OpenExclusive(attrPath);
    std::vector<uint8_t> image;
    if (!file.valid()) {
        return call.Failed(OpenFailureCode(),
                           msg::kCreateFile, call.function(), attrPath.c_str(), LastErr());
    }
    if (Unreadable(ReadDeclared(file.get(), kAttributionFileLayout, image))) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kReadFile, call.function(), attrPath.c_str(), LastErr());
    }
    if (image.size() < kAttributionHeadSize ||
        (image.size() - kAttributionHeadSize) % kBackLinkSize != 0) {
        return call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                           msg::kMalformed, call.function(), attrPath.c_str(),
                           static_cast<unsigned>(image.size()));
    }
    // The back-links that stay close up in the image itself (`kept` bytes of it): the call holds
    // one image of the file. What is behind `kept` is final, so the names seen are looked up there.
    size_t kept = kAttributionHeadSize;
    std::vector<std::string_view> seen;
    bool present = false;
    for (size_t at = kAttributionHeadSize; at < image.size(); at += kBackLinkSize) {
        const char* field = reinterpret_cast<const char*>(image.data() + at);
        const std::string_view link = FieldText(field, kBackLinkSize);
        const bool own = FieldEquals(field, kBackLinkSize, groupPath);
        if (std::find(seen.begin(), seen.end(), link) != seen.end()) continue;
        if (!own && !LinkStands(link, memberName, kind)) continue;
        if (kept != at) std::memmove(image.data() + kept, field, kBackLinkSize);
        seen.push_back(FieldText(reinterpret_cast<const char*>(image.data() + kept), kBackLinkSize));
        present |= own;
        kept += kBackLinkSize;
    }
    char link[kBackLinkSize] = {};
    FieldSet(link, kBackLinkSize - 1, groupPath);
    if (kept == image.size()) {
        if (present) return true;
        const uint32_t oldSize = static_cast<uint32_t>(image.size());
        RangeLock lock(file.get(), 0, oldSize + kBackLinkSize);
        if (!lock.Lock()) {
            return call.Failed(QVAPI_ERR_RESOURCE,
                               msg::kLockFile, call.function(), attrPath.c_str(), LastErr());
        }
        if (!WriteAt(file.get(), oldSize, link, kBackLinkSize) || !lock.Unlock()) {
            call.Log(msg::kWriteFile, call.function(), attrPath.c_str(), LastErr());
            call.Fail(QVAPI_ERR_RESOURCE);
            Seek(file.get(), oldSize);
            win::SetEndOfFile(file.get());
            return false;
        }
        written = true;
        return true;
    }
    image.resize(kept);
    file.Reset();
    const std::span<const uint8_t> added(reinterpret_cast<const uint8_t*>(link), present ? 0 : kBackLinkSize);
    if (!PutWhole(call, attrPath, {image, added})) return false;
    written = !present;
    return true;
}

// Writes one u32 of the definition at `offset` of an existing file, under a lock over it.
bool WriteWordLocked(const std::string& path, uint32_t offset, uint32_t value) {
    FileHandle file = OpenExclusive(path);
    if (!file.valid()) return false;
    RangeLock lock(file.get(), offset, sizeof value);
    return lock.Lock() && WriteAt(file.get(), offset, &value, sizeof value) && lock.Unlock();
}

// Sets uiNodeGroupFlag in both copies from whether the attribution file holds a back-link.
bool SyncGroupFlag(CallContext& call, const std::string& attrPath, const std::string& flatPath) {
    uint32_t size = 0;
    {
        FileHandle file = OpenExclusive(attrPath);
        if (!file.valid() || !FileSize(file.get(), &size)) {
            return call.Failed(OpenFailureCode(),
                               msg::kCreateFile, call.function(), attrPath.c_str(), LastErr());
        }
    }
    const uint32_t flag = size > kAttributionHeadSize ? 1 : 0;
    constexpr uint32_t kFlagOffset = offsetof(QVAPI_NODE, uiNodeGroupFlag);
    for (const std::string* path : {&attrPath, &flatPath}) {
        if (!WriteWordLocked(*path, kFlagOffset, flag)) {
            return call.Failed(OpenFailureCode(),
                               msg::kWriteFile, call.function(), path->c_str(), LastErr());
        }
    }
    return true;
}

// Whether the nodeattributionfile can be opened by this writer and walked (a head and whole
// back-links); false with the call failed.
bool AttributionRewritable(CallContext& call, const std::string& attrPath) {
    FileHandle file = OpenExclusive(attrPath);
    uint32_t size = 0;
    if (!file.valid() || !FileSize(file.get(), &size)) {
        call.Log(msg::kCreateFile, call.function(), attrPath.c_str(), LastErr());
        call.Fail(OpenFailureCode());
        return false;
    }
    if (size < kAttributionHeadSize || (size - kAttributionHeadSize) % kBackLinkSize != 0) {
        call.Log(msg::kMalformed, call.function(), attrPath.c_str(), static_cast<unsigned>(size));
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return false;
    }
    return true;
}

// Puts a file back as it was before a change that could not be completed; the call keeps the
// code of the failure that made it necessary.
void RestoreFile(CallContext& call, const std::string& path, const std::vector<uint8_t>& image) {
    const uint32_t code = call.code();
    if (!ReplaceWhole(path, image)) call.Log(msg::kWriteFile, call.function(), path.c_str(), LastErr());
    call.Fail(code);
}

// Takes the writer locks for the rest of the call; false with the call failed.
bool AcquireOrFail(CallContext& call, NodeWriterGuard& guard) { return LockWriters(call, guard); }

// The group path and member name of a membership change; false with the call failed.
bool TakeMemberArguments(CallContext& call, const char* givenPath, const char* nodeName,
                         std::string& groupPath) {
    if (!TakeGroupPath(call, givenPath, groupPath)) return false;
    if (ValidMemberName(nodeName)) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kBadName, call.function());
}

bool AddMember(CallContext& call, const char* givenPath, const char* nodeName, uint32_t kind) {
    std::string groupPath;
    if (!TakeMemberArguments(call, givenPath, nodeName, groupPath)) return false;
    NodeWriterGuard guard(call.block());
    if (!AcquireOrFail(call, guard)) return false;
    const bool master = kind == kMemberMaster;
    QVAPI_NODE node;
    if (const uint32_t code = ReadDefinitionWhole(call.block(), call.function(), nodeName, master, &node);
        code != 0) {
        return call.Failed(code, msg::kNoDefinition, call.function(), nodeName, code);
    }
    const uint32_t nameKind = NodeNameKind(nodeName);
    if (nameKind == 0) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return false;
    }
    if (!GroupDirectoryReady(call, groupPath)) return false;
    const std::string memberName = GroupNameOf(node);
    const std::string attrPath = AttributionPathByName(node, nameKind, nodeName);
    const std::string flatPath = FlatFilePath(node, nameKind, nodeName, master);
    // The back-link first, the entry after it: a writer killed between the two leaves at most a
    // back-link that its group does not list, which readers pass over and the next write drops.
    bool written = false;
    if (!AppendBackLink(call, attrPath, groupPath, memberName, kind, written)) return false;
    const bool listed = AppendGroupEntry(call, groupPath, memberName, kind);
    if (listed && SyncGroupFlag(call, attrPath, flatPath)) return true;
    // The member is either listed in both places or in neither, taken back in the same order as
    // a removal; a back-link that was there before this call stays.
    const uint32_t code = call.code();
    bool missing = false;
    if (listed) DeleteNodeGroupEntryIn(call, groupPath.c_str(), memberName.c_str(), kind, &missing);
    if (written) DeleteNodeAttributionEntryIn(call, nodeName, groupPath.c_str(), kind, &missing);
    // Also when nothing was written: a killed addition may have left the flag of one copy
    // behind the other, and the same call again makes them agree.
    SyncGroupFlag(call, attrPath, flatPath);
    call.Fail(code);
    return false;
}

// A member the group does not list: a back-link to the group that a killed writer left goes
// now. The call keeps its code.
void DropUnlistedLink(CallContext& call, const char* nodeName, const std::string& groupPath, uint32_t kind,
                      const std::string& attrPath, const std::string& flatPath) {
    const uint32_t code = call.code();
    bool missing = false;
    // The flags of both copies agree afterwards, also after a killed removal that had dropped
    // the back-link already.
    if (DeleteNodeAttributionEntryIn(call, nodeName, groupPath.c_str(), kind, &missing))
        SyncGroupFlag(call, attrPath, flatPath);
    call.Fail(code);
}

bool RemoveMember(CallContext& call, const char* givenPath, const char* nodeName, uint32_t kind) {
    std::string groupPath;
    if (!TakeMemberArguments(call, givenPath, nodeName, groupPath)) return false;
    NodeWriterGuard guard(call.block());
    if (!AcquireOrFail(call, guard)) return false;
    const bool master = kind == kMemberMaster;
    QVAPI_NODE node;
    const uint32_t readCode = ReadDefinitionWhole(call.block(), call.function(), nodeName, master, &node);
    if (readCode != 0 && readCode != QVAPI_ERR_NOT_FOUND) {
        return call.Failed(readCode, msg::kNoDefinition, call.function(), nodeName, readCode);
    }
    const bool defined = readCode == 0;
    const uint32_t nameKind = defined ? NodeNameKind(nodeName) : 0;
    const std::string attrPath = defined ? AttributionPathByName(node, nameKind, nodeName) : std::string();
    // Both files are checked before either changes: a back-link file that cannot be rewritten
    // must not cost the member its group entry and leave a back-link nothing can remove.
    if (defined && !AttributionRewritable(call, attrPath)) return false;
    std::vector<uint8_t> groupBefore;
    // A node whose definition is gone is listed under the name it was added by.
    const std::string memberName = defined ? GroupNameOf(node) : std::string(nodeName);
    const std::string flatPath = defined ? FlatFilePath(node, nameKind, nodeName, master) : std::string();
    // The entry first, the back-link after it, as an addition writes them the other way round.
    if (!DeleteNodeGroupEntryIn(call, groupPath.c_str(), memberName.c_str(), kind, nullptr, &groupBefore)) {
        if (defined && call.code() == QVAPI_ERR_NOT_FOUND)
            DropUnlistedLink(call, nodeName, groupPath, kind, attrPath, flatPath);
        return false;
    }
    if (!defined) return true;
    bool missing = false;
    if (!DeleteNodeAttributionEntryIn(call, nodeName, groupPath.c_str(), kind, &missing)) {
        if (!groupBefore.empty()) RestoreFile(call, GroupFilePath(groupPath), groupBefore);
        return false;
    }
    return SyncGroupFlag(call, attrPath, flatPath);
}

bool TakeChildGroup(CallContext& call, const char* parent, const char* name, std::string& parentPath,
                    std::string& childPath) {
    if (!TakeGroupPath(call, parent, parentPath)) return false;
    if (name == nullptr || !CheckGroupLevelName(name)) {
        return call.Failed(QVAPI_ERR_INVALID_NAME, msg::kBadName, call.function());
    }
    const std::string child = ChildGroupPath(parentPath, name);
    if (const uint32_t code = CheckGroupPath(child); code != 0) {
        return call.Failed(code, msg::kBadGroupPath, call.function(), child.c_str(), code);
    }
    childPath = StoredGroupPath(child);
    return true;
}

bool CreateGroup(CallContext& call, const char* parent, const char* name) {
    std::string parentPath, childPath;
    if (!TakeChildGroup(call, parent, name, parentPath, childPath)) return false;
    NodeWriterGuard guard(call.block());
    if (!AcquireOrFail(call, guard)) return false;
    if (!GroupDirectoryReady(call, parentPath)) return false;
    const std::string directory = GroupDirectoryPath(childPath);
    if (Exists(directory)) {
        return call.Failed(QVAPI_ERR_ALREADY_EXISTS,
                           msg::kGroupExists, call.function(), childPath.c_str());
    }
    if (!win::CreateDirectory(directory.c_str(), nullptr)) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kCreateDirectory, call.function(), directory.c_str(), LastErr());
    }
    if (AppendGroupEntry(call, parentPath, name, kMemberSubGroup)) return true;
    win::RemoveDirectory(directory.c_str());
    return false;
}

bool DeleteGroup(CallContext& call, const char* parent, const char* name) {
    std::string parentPath, childPath;
    if (!TakeChildGroup(call, parent, name, parentPath, childPath)) return false;
    NodeWriterGuard guard(call.block());
    if (!AcquireOrFail(call, guard)) return false;
    const std::string directory = GroupDirectoryPath(childPath);
    if (IsDirectory(directory)) {
        const std::string path = GroupFilePath(childPath);
        FileHandle file = OpenExclusive(path);
        if (file.valid()) {
            uint32_t size = 0;
            if (!FileSize(file.get(), &size)) {
                return call.Failed(QVAPI_ERR_RESOURCE,
                                   msg::kReadFile, call.function(), path.c_str(), LastErr());
            }
            if (size > kGroupHeaderSize) {
                return call.Failed(QVAPI_ERR_DIR_NOT_EMPTY,
                                   msg::kGroupNotEmpty, call.function(), childPath.c_str());
            }
        } else if (win::GetLastError() != win::ERROR_FILE_NOT_FOUND) {
            return call.Failed(OpenFailureCode(),
                               msg::kCreateFile, call.function(), path.c_str(), LastErr());
        }
        file.Reset();
        if (gaiCOMDirectoryDeleteRetry(directory.c_str(), kGroupDeletePauseMs, kGroupDeleteTries) != 0) {
            return call.Failed(QVAPI_ERR_RESOURCE,
                               msg::kRemoveDirectory, call.function(), directory.c_str(),
                               LastErr());
        }
        // The directory is gone; an entry that was never written is no reason to fail.
        bool missing = false;
        return DeleteNodeGroupEntryIn(call, parentPath.c_str(), name, kMemberSubGroup, &missing);
    }
    // No directory: a stale entry can still be taken out.
    return DeleteNodeGroupEntryIn(call, parentPath.c_str(), name, kMemberSubGroup);
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT int qvAPICreateClient(const char* lpNodeGroupPath, const char* lpNodeName,
                                               uint32_t, uint32_t) {
    return qvp::RunApi(kCreateClientFrame, 0, [&](CallContext& call) {
        return AddMember(call, lpNodeGroupPath, lpNodeName, kMemberClient) ? 1 : 0;
    });
}

int qvp::nodes::qvAPICreateMaster(const char* lpNodeGroupPath, const char* lpMasterName, uint32_t,
                                  uint32_t) {
    return qvp::RunApi(kCreateMasterFrame, 0, [&](CallContext& call) {
        return AddMember(call, lpNodeGroupPath, lpMasterName, kMemberMaster) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteClient(const char* lpNodeGroupPath, const char* lpNodeName,
                                               uint32_t, uint32_t) {
    return qvp::RunApi(kDeleteClientFrame, 0, [&](CallContext& call) {
        return RemoveMember(call, lpNodeGroupPath, lpNodeName, kMemberClient) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteMaster(const char* lpNodeGroupPath,
                                               const char* lpMasterName, uint32_t, uint32_t) {
    return qvp::RunApi(kDeleteMasterFrame, 0, [&](CallContext& call) {
        return RemoveMember(call, lpNodeGroupPath, lpMasterName, kMemberMaster) ? 1 : 0;
    });
}

int qvp::nodes::qvAPICreateNodeGroup(const char* lpParentGroupPath, const char* lpNodeGroupName,
                                     uint32_t, uint32_t) {
    return qvp::RunApi(kCreateGroupFrame, 0, [&](CallContext& call) {
        return CreateGroup(call, lpParentGroupPath, lpNodeGroupName) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteNodeGroup(const char* lpParentGroupPath,
                                                  const char* lpNodeGroupName, uint32_t, uint32_t) {
    return qvp::RunApi(kDeleteGroupFrame, 0, [&](CallContext& call) {
        return DeleteGroup(call, lpParentGroupPath, lpNodeGroupName) ? 1 : 0;
    });
}

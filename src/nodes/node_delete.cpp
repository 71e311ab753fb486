// Deletion of a client or master definition: a master's descendants go first, then the node's
// entries in every group its back-links name, its flat file and last its key directory, so that
// a deletion that stops half way leaves a definition that can be deleted again (a master keeps
// its own until the last node below it is gone) or no node at all.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/fileutil.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_record.h"
#include "nodes/node_group_steps.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kRemoveDirectory[] = "%s : RemoveDirectory %s : ErrorCode = %d";
constexpr char kDeleteFile[] = "%s : DeleteFile %s : ErrorCode = %d";
}  // namespace msg

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kClientFrame{"qvAPIDeleteClientDefinition", EndStyle::Hex, nullptr, nullptr, kLogicalError};
constexpr FrameTexts kMasterFrame{"qvAPIDeleteMasterDefinition", EndStyle::Hex, nullptr, nullptr, kLogicalError};

constexpr uint32_t kRemovePauseMs = 300;
constexpr int kRemoveTries = 11;

// The group paths of the node's back-links, read a piece at a time: the names are all the call
// keeps of the file.
bool ReadBackLinks(CallContext& call, const std::string& attr, std::vector<std::string>& links) {
    FileHandle file = OpenExclusive(attr);
    if (!file.valid()) {
        if (win::GetLastError() == win::ERROR_FILE_NOT_FOUND || win::GetLastError() == win::ERROR_PATH_NOT_FOUND)
            return true;  // no attribution file: in no group
    }
    uint8_t head[kMaxHeadSize];
    uint32_t headBytes = 0, total = 0;
    bool read = file.valid() && !Unreadable(ReadDeclaredHead(file.get(), kAttributionFileLayout, head, headBytes, total));
    // The head first (not kept), then whole back-links, a piece at a time.
    constexpr uint32_t kPiece = 252 * kBackLinkSize;
    std::vector<uint8_t> piece(kPiece);
    uint32_t at = std::min<uint32_t>(total, kAttributionHeadSize);
    read = read && ReadExact(file.get(), piece.data(), at - headBytes);
    while (read && at < total) {
        const uint32_t size = std::min(kPiece, total - at);
        read = ReadExact(file.get(), piece.data(), size);
        for (uint32_t link = 0; read && link + kBackLinkSize <= size; link += kBackLinkSize)
            links.emplace_back(FieldText(reinterpret_cast<const char*>(piece.data() + link), kBackLinkSize));
        at += size;
    }
    if (!read) {
        return call.Failed(
            win::GetLastError() == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_BUSY : QVAPI_ERR_RESOURCE,
            msg::kReadFile, call.function(), attr.c_str(), LastErr());
    }
    return true;
}

bool DeleteNodeIn(CallContext& call, const QVAPI_NODE& node, SubtreeWalk& walk) {
    if (node.uiNodeAttributes == kMemberMaster) {
        // The walk is finished before anything below the master is touched.
        std::vector<QVAPI_NODE> children;
        if (!ListChildrenIn(call, node, walk, children)) return false;
        for (const QVAPI_NODE& child : children)
            if (!DeleteNodeIn(call, child, walk)) return false;
    }
    const std::string live = NodeDefDir();
    const std::string attr = AttrPathIn(live, node);
    std::vector<std::string> links;
    if (!ReadBackLinks(call, attr, links)) return false;
    const std::string member = GroupNameOf(node);
    for (const std::string& link : links) {
        bool missing = false;
        if (!DeleteNodeGroupEntryIn(call, link.c_str(), member.c_str(), node.uiNodeAttributes, &missing))
            return false;
    }
    // The definition file goes first: from then on the node is gone, and what a kill leaves of
    // its key directory is no node, swept by the next writer of that key.
    const std::string flat = FlatPathIn(live, node);
    if (!DeleteOnceFree(flat) && win::GetLastError() != win::ERROR_FILE_NOT_FOUND) {
        return call.Failed(
            win::GetLastError() == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_BUSY : QVAPI_ERR_RESOURCE,
            msg::kDeleteFile, call.function(), flat.c_str(), LastErr());
    }
    const std::string dir = ParentOf(attr);
    if (IsDirectory(dir) &&
        gaiCOMDirectoryDeleteRetry(dir.c_str(), kRemovePauseMs, kRemoveTries) != 0 && IsDirectory(dir)) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kRemoveDirectory, call.function(), dir.c_str(), LastErr());
    }
    return true;
}

bool DeleteDefinition(CallContext& call, const char* keyName, const QVAPI_NODE_TIME* time, bool master) {
    NodeWriterGuard guard(call.block());
    QVAPI_NODE stored;
    if (!KeyNameGiven(call, keyName) || !LockWriters(call, guard) ||
        !ReadStoredNotLater(call, keyName, master, time, stored))
        return false;
    SubtreeWalk walk(stored);
    return DeleteNodeIn(call, stored, walk);
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT int qvAPIDeleteClientDefinition(const char* lpNodeName, uint32_t,
                                                         const QVAPI_NODE_TIME* lpUpdateTime) {
    return qvp::RunApi(kClientFrame, 0, [&](CallContext& call) {
        return DeleteDefinition(call, lpNodeName, lpUpdateTime, false) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteMasterDefinition(const char* lpNodeName, uint32_t,
                                                         const QVAPI_NODE_TIME* lpUpdateTime) {
    return qvp::RunApi(kMasterFrame, 0, [&](CallContext& call) {
        return DeleteDefinition(call, lpNodeName, lpUpdateTime, true) ? 1 : 0;
    });
}

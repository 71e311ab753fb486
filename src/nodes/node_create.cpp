// Creation of a client or master definition: the record is checked against the name it is
// created under, placed below its upper master, given a free key, and written as its flat file,
// its key directory and its nodeattributionfile (the flat file last). What a failed creation
// made is removed again.
#include <cstring>
#include <string>

#include "core/fileutil.h"
#include "core/temp_file.h"
#include "nodes/name_checks.h"
#include "nodes/name_text.h"
#include "nodes/node_checks.h"
#include "nodes/node_group_file.h"
#include "nodes/node_group_guard.h"
#include "nodes/node_group_record.h"
#include "nodes/node_record.h"
#include "nodes/node_keys.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"
#include "nodes/node_writer.h"
#include "qvpapi.h"

namespace qvp::nodes {

namespace {

namespace msg {
constexpr char kNoRecord[] = "%s : Parameter Error : QVAPI_NODE Struct Address is NULL";
constexpr char kKeyMismatch[] = "%s : Parameter Error : Key Name %s does not name the record";
constexpr char kCheckFailed[] = "%s : %s Error : ErrorCode = 0x%8.8x";
constexpr char kCreateFile[] = "%s : CreateFile Error : File = %s, errno = %d";
constexpr char kWriteFile[] = "%s : WriteFile Error : File = %s, errno = %d";
constexpr char kMakeDir[] = "%s : qvpCreateDirectory Error : dir = %s, errno = 0x%x";
}  // namespace msg

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr FrameTexts kCreateClientFrame{"qvAPICreateClientDefinition", EndStyle::Hex, nullptr, nullptr,
                                        kLogicalError};
constexpr FrameTexts kCreateMasterFrame{"qvAPICreateMasterDefinition", EndStyle::Hex, nullptr, nullptr,
                                        kLogicalError};

// A check of the record run as its own step; false with the call failed by its code.
bool Passed(CallContext& call, int result, const char* check) {
    if (result == 1) return true;
    const uint32_t code = qvAPIGetLastError();
    return call.Failed(code, msg::kCheckFailed, call.function(), check, code);
}

// The key name must be the name the lookups compare for this record; an empty host name is
// taken from it.
bool KeyNamesRecord(CallContext& call, uint32_t kind, const std::string& key, QVAPI_NODE& r) {
    if (!IsHostIdKind(kind) && kind != kKindIpAddress && r.ucNodeName[0] == '\0' &&
        !(r.uiConnectKind == 1 && r.ucCommonName[0] != '\0'))
        CopyField(r.ucNodeName, key);
    bool named;
    if (IsHostIdKind(kind))
        named = EqualIgnoringCase(Field(r.ucHostID), key);
    else if (kind == kKindIpAddress)
        named = DottedAddress(r.ucNodeAddress) == key;
    else
        named = EqualIgnoringCase(KeyNameOf(r), key);
    if (named) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                       msg::kKeyMismatch, call.function(), key.c_str());
}

// The files of a new definition; each one made is removed again unless the creation completes.
struct NewDefinition {
    std::string flat, dir, attr;
    bool dirMade = false, attrMade = false, done = false;
    ~NewDefinition() {
        if (done) return;
        if (attrMade) DeleteOnceFree(attr);
        if (dirMade) win::RemoveDirectory(dir.c_str());
    }
};

// The file comes to exist whole: written beside it under a hidden name and moved in where
// nothing has the name, so that no reader ever opens it empty or short.
bool CreateNewFile(CallContext& call, const std::string& path, const void* data, uint32_t size, bool& made) {
    TempFile temp;
    if (WriterFault("create.file") ||
        !temp.Create(path, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE, true)) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kCreateFile, call.function(), path.c_str(), LastErr());
    }
    if (!WriteAll(temp.handle.get(), data, size)) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           msg::kWriteFile, call.function(), path.c_str(), LastErr());
    }
    if (!temp.PlaceNew()) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(
            error == win::ERROR_FILE_EXISTS || error == win::ERROR_ALREADY_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE,
            msg::kCreateFile, call.function(), path.c_str(), static_cast<int>(error));
    }
    made = true;
    return true;
}

// The key directory and its nodeattributionfile first, the definition file last: a creation
// killed before its end leaves no node, only a key directory that the next writer sweeps.
bool WriteNewDefinition(CallContext& call, const QVAPI_NODE& r) {
    const std::string live = NodeDefDir();
    NewDefinition files;
    files.flat = FlatPathIn(live, r);
    files.attr = AttrPathIn(live, r);
    files.dir = ParentOf(files.attr);
    SweepOrphanKeyDir(live, files.dir);
    SweepDefinitionTemporaries(live);
    if (!qvpCreateDirectoryTree(ParentOf(files.dir).c_str()) || !win::CreateDirectory(files.dir.c_str(), nullptr)) {
        const win::DWORD error = win::GetLastError();
        return call.Failed(
            error == win::ERROR_ALREADY_EXISTS ? QVAPI_ERR_ALREADY_EXISTS : QVAPI_ERR_RESOURCE,
            msg::kMakeDir, call.function(), files.dir.c_str(), static_cast<unsigned>(error));
    }
    files.dirMade = true;
    if (!CreateNewFile(call, files.attr, &r, kAttributionHeadSize, files.attrMade)) return false;
    bool flatMade = false;
    if (!CreateNewFile(call, files.flat, &r, sizeof r, flatMade)) return false;
    files.done = true;
    return true;
}

bool CreateDefinition(CallContext& call, const char* keyName, const QVAPI_NODE* given, bool master) {
    if (given == nullptr) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, msg::kNoRecord, call.function());
    }
    NodeWriterGuard guard(call.block());
    if (!KeyNameGiven(call, keyName) || !LockWriters(call, guard)) return false;
    const uint32_t kind = NodeNameKind(keyName);
    if (kind == 0) {
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER,
                           text::kKindNotFound, call.function(), keyName);
    }
    std::string key = keyName;
    if (kind == kKindIpAddress) {
        char dotted[16] = {};
        if (!Passed(call, qvAPIChangeIPAddress(keyName, dotted), "qvAPIChangeIPAddress")) return false;
        key = dotted;
    }
    QVAPI_NODE r = *given;
    if (!KeyNamesRecord(call, kind, key, r)) return false;
    if (!Passed(call, qvAPICheckInputItemDefinition(kind, &r), "qvAPICheckInputItemDefinition")) return false;
    const std::string hostName(Field(r.ucNodeName));
    if (!Passed(call, qvAPINameParameterNodeDefinitionCheck(key.c_str(), hostName.c_str(), call.function(),
                                                            master ? kNameMaster : kNameClient),
                "qvAPINameParameterNodeDefinitionCheck"))
        return false;
    if (!Passed(call, qvAPICheckDataNodeDefinition(&r), "qvAPICheckDataNodeDefinition")) return false;
    r.uiNodeAttributes = master ? kMemberMaster : kMemberClient;
    r.uiNodeGroupFlag = 0;
    if (!NameIsFree(call, key, master, Field(r.ucNodePath0), nullptr)) return false;
    QVAPI_NODE upper;
    if (!ReadUpperMaster(call, r, upper)) return false;
    CascadeLog log;
    const std::string live = NodeDefDir();
    if (!DerivePathsIn(call, live, r, upper, log)) return false;
    if (IpKeyed(r)) {
        SetField(r.ucNodeKey, "");
    } else {
        std::string fileKey;
        if (const uint32_t code = LayOutKeyIn(call.function(), live, KeyNameOf(r).c_str(), fileKey); code != 0) {
            call.Fail(code);
            return false;
        }
        SetField(r.ucNodeKey, fileKey);
    }
    if (!Passed(call, qvAPICheckDataNodeDefinition(&r), "qvAPICheckDataNodeDefinition")) return false;
    r.stUpdateTime = StampOrNow(r.stUpdateTime);
    r.stCreateTime = StampOrNow(r.stCreateTime);
    if (!WriteNewDefinition(call, r)) return false;
    return RunDeferredRenames(call, log);
}

}  // namespace

}  // namespace qvp::nodes

using qvp::CallContext;
using namespace qvp::nodes;

extern "C" QVPAPI_EXPORT int qvAPICreateClientDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                                         uint32_t) {
    return qvp::RunApi(kCreateClientFrame, 0, [&](CallContext& call) {
        return CreateDefinition(call, lpNodeName, lpNodeData, false) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPICreateMasterDefinition(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                                         uint32_t) {
    return qvp::RunApi(kCreateMasterFrame, 0, [&](CallContext& call) {
        return CreateDefinition(call, lpNodeName, lpNodeData, true) ? 1 : 0;
    });
}

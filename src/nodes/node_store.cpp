// Whole-record readers of the definition store.
#include "nodes/node_store.h"

#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/paths.h"
#include "nodes/name_checks.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_texts.h"
#include "nodes/synonym_index.h"

namespace qvp::nodes {

namespace {

constexpr const char kClientReader[] = "qvAPIGetClientDefinitionByName";
constexpr const char kMasterReader[] = "qvAPIGetMasterDefinitionByName";
constexpr const char kNodeReader[] = "qvAPIGetNodeDefinitionByName";

bool Absent(win::DWORD error) {
    return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND;
}

// The errno a _stat of the file would leave: ENOENT for a missing file.
int StatErrno(win::DWORD error) { return Absent(error) ? win::CRT_ENOENT : static_cast<int>(error); }

// The upper-node path of a record: the host-ID form when it is in use.
std::string_view UpperPath(const QVAPI_NODE& record) {
    std::string_view hostIdPath = Field(record.ucHostIDPath);
    return hostIdPath.empty() ? Field(record.ucNodePath0) : hostIdPath;
}

// Only a node whose upper-node path is "\" (at the top) has its group flag recomputed.
bool AtTheTop(const QVAPI_NODE& record) { return UpperPath(record) == "\\"; }

enum class Kind { Client, Master };

const char* ReaderName(Kind kind) { return kind == Kind::Client ? kClientReader : kMasterReader; }

// The IP-keyed definition file NODEDEF\C.<name> or M.<name>.
uint32_t ReadIpKeyed(QVPAPI& block, Kind kind, const std::string& name, QVAPI_NODE& record) {
    const char* const function = ReaderName(kind);
    const uint32_t notFound = kind == Kind::Client ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_FILE_NOT_FOUND;
    // The name becomes part of a path: a separator in it would leave NODEDEF.
    if (name.find_first_of("\\/") != std::string::npos) {
        qvpDllLog(text::kNameHasSeparator, function, name.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const std::string dir = NodeDefDir();
    const std::string path = dir + (kind == Kind::Client ? "\\C." : "\\M.") + name;
    if (win::GetFileAttributes(path.c_str()) == win::INVALID_FILE_ATTRIBUTES) {
        win::DWORD error = win::GetLastError();
        qvpDllLog(text::kStatError, function, path.c_str(), StatErrno(error));
        return Absent(error) ? notFound : QVAPI_ERR_RESOURCE;
    }
    win::DWORD error = 0;
    bool readFailed = false;
    uintptr_t handle = 0;
    if (!ReadRecordFile(path, record, error, readFailed, &handle)) {
        if (readFailed) {
            LogReadError(function, handle, &record, error);
            return QVAPI_ERR_RESOURCE;
        }
        qvpDllLog(text::kCreateFileError, function, path.c_str(), static_cast<int>(error));
        return error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE;
    }
    record.ucSystemKey = block.systemManagementKey;
    if (kind == Kind::Client && AtTheTop(record)) {
        return ReadGroupFlag(dir + "\\" + name + "\\" + kAttributionFileName, record.uiNodeGroupFlag);
    }
    return 0;
}

uint32_t Lookup(SynonymIndex* index, std::string_view name, uint32_t fdwOptions, QVAPI_NODE& record) {
    return index != nullptr ? index->Lookup(name, fdwOptions, record) : LookupDefinition(name, fdwOptions, record);
}

uint32_t ReadStored(QVPAPI& block, Kind kind, std::string_view name, QVAPI_NODE& record, SynonymIndex* index) {
    std::memset(&record, 0, sizeof record);
    const std::string given(name);
    uint32_t nameKind = qvAPIGetNodeNameType(given.c_str(), 0, 0, 0);
    if (nameKind == 0) {
        qvpDllLog(text::kKindNotFound, ReaderName(kind), given.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (nameKind == kKindIpAddress) return ReadIpKeyed(block, kind, given, record);
    if (kind == Kind::Master) {
        uint32_t code = Lookup(index, name, kFindMasters, record);
        return code == QVAPI_ERR_NOT_FOUND ? QVAPI_ERR_FILE_NOT_FOUND : code;
    }
    uint32_t code = Lookup(index, name, kFindClients, record);
    if (code != 0) return code;
    // No path from a key that cannot be one: the caller below refuses the record.
    if (!AtTheTop(record) || !StoredPathFieldsUsable(record)) return 0;
    const std::string attribution =
        NodeDefDir() + "\\" + std::string(Field(record.ucNodeKey)) + "\\" + kAttributionFileName;
    return ReadGroupFlag(attribution, record.uiNodeGroupFlag);
}

// Every record a reader hands on has key fields that may become path components: the writers
// build their paths from them.
uint32_t ReadByKind(QVPAPI& block, Kind kind, std::string_view name, QVAPI_NODE& record,
                    SynonymIndex* index = nullptr) {
    const uint32_t code = ReadStored(block, kind, name, record, index);
    if (code != 0 || StoredPathFieldsUsable(record)) return code;
    qvpDllLog(text::kStoredPathInvalid, ReaderName(kind), std::string(name).c_str());
    return QVAPI_ERR_UNEXPECTED_DATA;
}

// "" or "\" at the top, else "\" before every level.
bool StoredPathUsable(std::string_view path) {
    if (PathIsTop(path)) return true;
    if (path.front() != '\\') return false;
    for (size_t start = 1;;) {
        size_t end = win::FindFirstSeparator(path, start);
        if (end == std::string_view::npos) end = path.size();
        if (!StoredNameUsable(path.substr(start, end - start))) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

}  // namespace

bool StoredPathFieldsUsable(const QVAPI_NODE& node) {
    const std::string_view key = Field(node.ucNodeKey);
    return (key.empty() || StoredNameUsable(key)) && StoredPathUsable(Field(node.ucNodeKeyPath)) &&
           StoredPathUsable(Field(node.ucNodePath0));
}

std::string NodeDefDir() {
    char buffer[win::MAX_PATH] = {};
    qvpMakeMngflNodeDefPath(buffer);
    return std::string(Field(buffer));
}

std::string NodeGroupDir() {
    char buffer[win::MAX_PATH] = {};
    qvpMakeMngflNodeGroupPath(buffer);
    return std::string(Field(buffer));
}

std::string DottedAddress(const uint8_t (&address)[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
}

bool ReadRecordFile(const std::string& path, QVAPI_NODE& record, win::DWORD& error,
                    bool& readFailed, uintptr_t* handleValue) {
    readFailed = false;
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0,
                                    nullptr, win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file.valid()) {
        error = win::GetLastError();
        return false;
    }
    if (handleValue != nullptr) *handleValue = reinterpret_cast<uintptr_t>(file.get());
    win::DWORD read = 0;
    const bool ok =
        win::ReadFile(file.get(), &record, static_cast<win::DWORD>(kNodeSize), &read, nullptr);
    if (!ok || read != kNodeSize) {
        // A short file is a failed read of its own kind, whatever error an earlier call left.
        error = ok ? win::ERROR_HANDLE_EOF : win::GetLastError();
        readFailed = true;
        return false;
    }
    return true;
}

void LogReadError(const char* function, uintptr_t handleValue, const void* buffer,
                  win::DWORD error) {
    qvpDllLog(text::kReadError, function, static_cast<unsigned>(handleValue),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(buffer)),
              static_cast<unsigned>(kNodeSize), static_cast<int>(error));
}

std::string NodeKeyDirectory(const QVAPI_NODE& record) {
    const bool ipKeyed = record.ucHostIDFlag != 1 && record.ucSystemKey == 1;
    std::string key = ipKeyed ? DottedAddress(record.ucNodeAddress) : std::string(Field(record.ucNodeKey));
    std::string keyPath(Field(record.ucNodeKeyPath));
    if (keyPath == "\\") keyPath.clear();
    return NodeDefDir() + keyPath + "\\" + key;
}

std::string AttributionFilePath(const QVAPI_NODE& record) {
    return NodeKeyDirectory(record) + "\\" + kAttributionFileName;
}

uint32_t ReadGroupFlag(const std::string& attributionPath, uint32_t& flag) {
    FileHandle file(win::CreateFile(attributionPath.c_str(), win::GENERIC_READ, 0, nullptr,
                                    win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        win::DWORD error = win::GetLastError();
        qvpDllLog(text::kAttrCreateFile, text::kFindFirstAsLogged, attributionPath.c_str(),
                  static_cast<int>(error));
        return error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE;
    }
    win::DWORD high = 0;
    win::DWORD size = win::GetFileSize(file.get(), &high);
    if (size == win::INVALID_FILE_SIZE && win::GetLastError() != 0) {
        qvpDllLog(text::kAttrFileSize, text::kFindFirstAsLogged, attributionPath.c_str(),
                  static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    flag = (high != 0 || size > kAttributionHeadSize) ? 1u : 0u;
    return 0;
}

uint32_t ReadClientDefinition(QVPAPI& block, const char*, std::string_view name,
                              QVAPI_NODE& record) {
    return ReadByKind(block, Kind::Client, name, record);
}

uint32_t ReadMasterDefinition(QVPAPI& block, const char*, std::string_view name,
                              QVAPI_NODE& record) {
    return ReadByKind(block, Kind::Master, name, record);
}

uint32_t ReadKindDefinition(QVPAPI& block, bool master, std::string_view name, QVAPI_NODE& record,
                            SynonymIndex* index) {
    return ReadByKind(block, master ? Kind::Master : Kind::Client, name, record, index);
}

uint32_t ReadNodeDefinition(QVPAPI& block, const char*, std::string_view name,
                            QVAPI_NODE& record) {
    std::memset(&record, 0, sizeof record);
    CopyField(record.ucNodeName, name);
    const std::string given(name);
    uint32_t nameKind = qvAPIGetNodeNameType(given.c_str(), 0, 0, 0);
    if (nameKind == 0) {
        qvpDllLog(text::kKindNotFound, kNodeReader, given.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (nameKind != kKindIpAddress) {
        // Each kind into its own buffer; a busy or broken file keeps its own code.
        QVAPI_NODE client;
        QVAPI_NODE master;
        uint32_t code = LookupDefinition(name, kFindClients, client);
        if (code != 0 && code != QVAPI_ERR_NOT_FOUND) return code;
        const bool clientFound = code == 0;
        code = LookupDefinition(name, kFindMasters, master);
        if (code != 0 && code != QVAPI_ERR_NOT_FOUND) return code;
        if (code == 0) {
            record = master;
        } else if (clientFound) {
            record = client;
        } else {
            return QVAPI_ERR_NOT_FOUND;
        }
        return 0;
    }
    if (given.find_first_of("\\/") != std::string::npos) {
        qvpDllLog(text::kNameHasSeparator, kNodeReader, given.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const std::string dir = NodeDefDir();
    uint32_t attributes = 0;
    for (Kind kind : {Kind::Client, Kind::Master}) {
        const std::string path = dir + (kind == Kind::Client ? "\\C." : "\\M.") + given;
        if (win::GetFileAttributes(path.c_str()) != win::INVALID_FILE_ATTRIBUTES) {
            attributes |= kind == Kind::Client ? QVAPI_NODE_CLIENT : QVAPI_NODE_MASTER;
            continue;
        }
        win::DWORD error = win::GetLastError();
        if (!Absent(error)) {
            qvpDllLog(text::kStatError, kNodeReader, path.c_str(), StatErrno(error));
            return QVAPI_ERR_RESOURCE;
        }
    }
    switch (attributes) {
        case QVAPI_NODE_CLIENT:
            return ReadByKind(block, Kind::Client, name, record);
        case QVAPI_NODE_MASTER:
            return ReadByKind(block, Kind::Master, name, record);
        case QVAPI_NODE_CLIENT | QVAPI_NODE_MASTER:
            record.uiNodeAttributes = attributes;
            return 0;
        default:
            qvpDllLog(text::kNoNode, kNodeReader, given.c_str());
            return QVAPI_ERR_NOT_FOUND;
    }
}

size_t CallerNodeSize(const QVPAPI& block) {
    uint32_t size = block.recordSizes[kSlotNode];
    if (size == 0) return kNodeLevelSizes[0];
    return size < kNodeSize ? size : kNodeSize;
}

}  // namespace qvp::nodes

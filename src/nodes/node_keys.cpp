// Node file keys and the hashed definition tree.
#include "nodes/node_keys.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>

#include "core/frame.h"
#include "core/log.h"
#include "nodes/name_checks.h"
#include "nodes/name_text.h"
#include "nodes/node_record.h"
#include "nodes/node_step.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"

namespace qvp::nodes {

namespace {
constexpr size_t kHashSourceMax = 259;
constexpr size_t kKeyBufferSize = 64;

bool IsWalkEntryToSkip(const win::WIN32_FIND_DATAA& data) {
    // Directories and entries that are no regular files are never definitions to open.
    return (data.dwFileAttributes & (win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_SYSTEM)) != 0;
}
}  // namespace

std::string NodeHashPath(std::string_view source) {
    if (source.size() > kHashSourceMax) source = source.substr(0, kHashSourceMax);
    const std::string lower = win::CharLower(source);
    std::string out;
    uint32_t sum = 0;
    uint32_t i = 0;
    for (size_t pos = 0; pos <= lower.size(); ++pos) {
        if (pos == lower.size() || lower[pos] == '\\') {
            if (sum != 0) out += std::to_string(sum);
            if (pos < lower.size()) out += '\\';
            sum = 0;
            i = 0;
            continue;
        }
        const uint32_t c = static_cast<unsigned char>(lower[pos]);
        sum += (c + i + 1) * (i + 1);
        ++i;
    }
    return out;
}

std::string LastHashComponent(std::string_view name) {
    std::string hash = NodeHashPath(name);
    size_t sep = hash.rfind('\\');
    return sep == std::string::npos ? hash : hash.substr(sep + 1);
}

std::string_view LastNameComponent(std::string_view name) {
    size_t sep = name.rfind('\\');
    return sep == std::string_view::npos ? name : name.substr(sep + 1);
}

int SynonymSlot(std::string_view fileName, std::string_view hash) {
    if (fileName.size() < hash.size() + 2 || fileName[1] != '.' ||
        fileName.substr(2, hash.size()) != hash) {
        return -1;
    }
    std::string_view rest = fileName.substr(hash.size() + 2);
    if (rest.empty()) return 0;
    if ((rest[0] != 'S' && rest[0] != 's') || rest.size() < 2) return -1;
    // A stray suffix ("S999", "S1x") names no slot: it neither takes one nor indexes a table.
    int slot = 0;
    for (char c : rest.substr(1)) {
        if (!IsAsciiDigit(static_cast<unsigned char>(c))) return -1;
        slot = slot * 10 + (c - '0');
        if (slot > kMaxSynonymSlot) return -1;
    }
    return slot;
}

uint32_t ListSynonyms(const std::string& nodeDefDir, char kindLetter, std::string_view hash,
                      std::vector<SynonymFile>& files, win::DWORD& walkError, bool& firstFailed) {
    files.clear();
    std::string pattern = nodeDefDir + "\\" + kindLetter + "." + std::string(hash) + "*";
    win::WIN32_FIND_DATAA data{};
    FindWalk walk(pattern, data);
    if (!walk.valid()) {
        walkError = win::GetLastError();
        firstFailed = true;
        return walkError == win::ERROR_FILE_NOT_FOUND ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_RESOURCE;
    }
    do {
        std::string_view name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        int slot = SynonymSlot(name, hash);
        if (slot >= 0) {
            files.push_back({std::string(name), IsWalkEntryToSkip(data) ? -1 - slot : slot});
        }
    } while (walk.Next(data));
    walkError = win::GetLastError();
    if (walkError != win::ERROR_NO_MORE_FILES) {
        firstFailed = false;
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

namespace {

// One lookup's candidates, opened and compared one by one. Every line names the lookup itself,
// whoever asked for it.
class DefinitionSearch {
public:
    static constexpr uint32_t kNoMatch = 1;

    DefinitionSearch(std::string plain, bool byHostId, QVAPI_NODE& record)
        : dir_(NodeDefDir()), plain_(std::move(plain)), byHostId_(byHostId), record_(record) {}

    const std::string& dir() const { return dir_; }

    // Opens and compares one candidate: 0 on a match, kNoMatch, or the failure's code (a
    // missing file while `probing`: ERROR_FILE_NOT_FOUND, the end of a chain).
    uint32_t Examine(const std::string& fileName, bool probing) {
        const std::string path = dir_ + "\\" + fileName;
        win::DWORD error = 0;
        bool readFailed = false;
        uintptr_t handle = 0;
        if (!ReadRecordFile(path, record_, error, readFailed, &handle)) {
            // A short or failed read is never compared: what it left is no record.
            std::memset(&record_, 0, sizeof record_);
            if (!readFailed && (error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND)) {
                return probing ? win::ERROR_FILE_NOT_FOUND : kNoMatch;  // end of a chain, or removed
            }
            if (readFailed) {
                LogReadError(kLookupName, handle, &record_, error);
                return QVAPI_ERR_RESOURCE;
            }
            if (first_) {
                qvpDllLog(text::kLookupOpenFirst, kLookupName, path.c_str(), static_cast<int>(error));
            } else {
                qvpDllLog(text::kLookupOpenLater, kLookupName, path.c_str());
            }
            return error == win::ERROR_SHARING_VIOLATION ? QVAPI_ERR_NODE_FILE_BUSY : QVAPI_ERR_RESOURCE;
        }
        first_ = false;
        examined_.push_back(fileName);
        // The whole stored name must match: a stored "abcd" is no hit for "abc". A node shown by
        // its common name (connect kind 1) is keyed and addressed by that name.
        std::string_view stored = byHostId_ ? Field(record_.ucHostID) : Field(record_.ucNodeName);
        if (EqualIgnoringCase(stored, plain_)) return 0;
        const bool byCommonName = !byHostId_ && record_.uiConnectKind == 1;
        return byCommonName && EqualIgnoringCase(Field(record_.ucCommonName), plain_) ? 0 : kNoMatch;
    }

    // Keys are laid out at the lowest free slot, so a name is found by following its hash's
    // chain C.<hash>, C.<hash>S1 ... in the writers' own spelling: the cost grows with the
    // synonyms ahead of it, never with the size of NODEDEF. kNoMatch where every chain broke.
    uint32_t FollowChains(const std::string& letters, const std::string& hash) {
        for (char kindLetter : letters) {
            for (int slot = 0; slot <= kMaxSynonymSlot; ++slot) {
                std::string fileName = std::string(1, kindLetter) + "." + hash;
                if (slot != 0) fileName += "S" + std::to_string(slot);
                const uint32_t step = Examine(fileName, true);
                if (step == win::ERROR_FILE_NOT_FOUND) break;
                if (step != kNoMatch) return step;
            }
        }
        return kNoMatch;
    }

    // Where a chain breaks (a removed node, a name that is not stored, another spelling) the
    // directory is walked for the hash's synonyms not examined yet.
    uint32_t WalkSynonyms(char letter, const std::string& hash) {
        std::vector<SynonymFile> files;
        win::DWORD walkError = 0;
        bool firstFailed = false;
        const uint32_t code = ListSynonyms(dir_, letter, hash, files, walkError, firstFailed);
        if (code != 0) std::memset(&record_, 0, sizeof record_);  // no candidate of the probe stays
        if (code == QVAPI_ERR_RESOURCE) {
            if (firstFailed) {
                qvpDllLog(text::kFindFirst, kLookupName, (dir_ + "\\" + letter + "." + hash + "*").c_str(),
                          static_cast<int>(walkError));
            } else {
                qvpDllLog(text::kFindNext, kLookupName, static_cast<int>(walkError));
            }
        }
        if (code != 0) return code;
        for (const SynonymFile& file : files) {
            if (file.slot < 0) continue;
            if (std::find(examined_.begin(), examined_.end(), file.fileName) != examined_.end()) continue;
            const uint32_t step = Examine(file.fileName, false);
            if (step != kNoMatch) return step;
        }
        return kNoMatch;
    }

private:
    const std::string dir_;
    const std::string plain_;
    const bool byHostId_;
    QVAPI_NODE& record_;
    bool first_ = true;
    std::vector<std::string> examined_;
};

}  // namespace

uint32_t LookupDefinition(std::string_view name, uint32_t fdwOptions, QVAPI_NODE& record) {
    const char* const function = kLookupName;
    std::memset(&record, 0, sizeof record);
    std::string hash = LastHashComponent(name);
    if (name.empty() || name == "\\" || hash.empty()) {
        qvpDllLog(text::kBadNodeName, function);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const std::string plain(LastNameComponent(name));
    uint32_t kind = qvAPIGetNodeNameType(plain.c_str(), 0, 0, 0);
    if (kind == 0) {
        qvpDllLog(text::kKindNotFound, function, plain.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    char letter = fdwOptions == kFindClients ? 'C' : fdwOptions == kFindMasters ? 'M' : '?';
    if (fdwOptions != kFindClients && fdwOptions != kFindMasters && fdwOptions != kFindEither) {
        qvpDllLog(text::kBadFindOptions, function);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    DefinitionSearch search(plain, IsHostIdKind(kind), record);
    const std::string letters = letter == '?' ? std::string("CM") : std::string(1, letter);
    uint32_t step = search.FollowChains(letters, hash);
    if (step == DefinitionSearch::kNoMatch) step = search.WalkSynonyms(letter, hash);
    if (step != DefinitionSearch::kNoMatch) return step;
    qvpDllLog(text::kFindNext, function, static_cast<int>(win::ERROR_NO_MORE_FILES));
    std::memset(&record, 0, sizeof record);
    return QVAPI_ERR_NOT_FOUND;
}

uint32_t LayOutKeyIn(const char* function, const std::string& dir, const char* name,
                     std::string& key) {
    const std::string hash = LastHashComponent(name);
    std::vector<SynonymFile> files;
    win::DWORD walkError = 0;
    bool firstFailed = false;
    uint32_t code = ListSynonyms(dir, '?', hash, files, walkError, firstFailed);
    if (code == QVAPI_ERR_RESOURCE) {
        if (firstFailed) {
            qvpDllLog(text::kFindFirst, function, (dir + "\\?." + hash + "*").c_str(),
                      static_cast<int>(walkError));
        } else {
            qvpDllLog(text::kFindNext, function, static_cast<int>(walkError));
        }
        return code;
    }
    // Any entry of the name takes its slot, even one that is no file: a new file could not
    // be created over it.
    std::bitset<kMaxSynonymSlot + 1> taken;
    for (const SynonymFile& file : files) taken.set(file.slot >= 0 ? file.slot : -1 - file.slot);
    if (taken.test(kMaxSynonymSlot)) {
        qvpDllLog(text::kSynonymOver, function, name);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    key = hash;
    if (taken.test(0)) {
        int slot = 1;
        while (taken.test(slot)) ++slot;
        key += "S" + std::to_string(slot);
    }
    return 0;
}

}  // namespace qvp::nodes

using namespace qvp::nodes;

void qvpMakeNodeHashPath(const char* source, char* destination) {
    if (source == nullptr || destination == nullptr) return;
    const std::string hash = NodeHashPath(source);
    size_t used = strnlen(destination, win::MAX_PATH);
    if (used >= win::MAX_PATH - 1) return;
    size_t n = std::min(hash.size(), static_cast<size_t>(win::MAX_PATH - 1 - used));
    std::memcpy(destination + used, hash.data(), n);
    destination[used + n] = '\0';
}

int qvp::nodes::qvAPILayoutVirtualNodeDefinitionByName(const char* lpNodeName, char* lpNodeKey,
                                           uint32_t fdwOptions, uint32_t) {
    static constexpr qvp::FrameTexts kTexts{"qvAPILayoutVirtualNodeDefinitionByName",
                                            qvp::EndStyle::Hex, nullptr, nullptr,
                                            text::kLogicalErr};
    return qvp::RunApi(kTexts, 0, [&](qvp::CallContext& call) {
        const char* fn = kTexts.function;
        std::string hash = lpNodeName != nullptr ? LastHashComponent(lpNodeName) : std::string();
        if (lpNodeName == nullptr || std::strcmp(lpNodeName, "\\") == 0 || hash.empty() ||
            lpNodeKey == nullptr) {
            qvpDllLog(text::kBadNodeName, fn);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        if (fdwOptions != kFindClients && fdwOptions != kFindMasters) {
            qvpDllLog(text::kBadFindOptions, fn);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        std::string key;
        if (const uint32_t code = LayOutKeyIn(fn, NodeDefDir(), lpNodeName, key); code != 0) {
            call.Fail(code);
            return 0;
        }
        std::memset(lpNodeKey, 0, kKeyBufferSize);
        std::memcpy(lpNodeKey, key.data(), std::min(key.size(), kKeyBufferSize - 1));
        return 1;
    });
}

int qvp::nodes::qvAPIGetVirtualNodeDefinitionByName(const char* lpNodeName, QVAPI_NODE* lpNodeData,
                                        uint32_t fdwOptions) {
    static constexpr const char* kFn = kLookupName;
    return RunStep(kFn, text::kLogicalErr, 0, [&](QVPAPI&, uint32_t& code) {
        if (lpNodeName == nullptr || lpNodeData == nullptr) {
            qvpDllLog(text::kBadNodeName, kFn);
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
        code = LookupDefinition(lpNodeName, fdwOptions, *lpNodeData);
        return code == 0 ? 1 : 0;
    });
}

#include "records/local_engine.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/handles.h"
#include "core/paths.h"
#include "core/temp_file.h"
#include "core/text.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "records/keys.h"

namespace qvp::records::local {

namespace {

// The manager's answers, as the engine gives them.
constexpr std::string_view kOk = "0 0 0";
constexpr std::string_view kNoMore = "0 160";
constexpr std::string_view kNotFound = "16 16";
constexpr std::string_view kFileError = "12 0";
constexpr std::string_view kTooLong = "0 1";
constexpr size_t kJobNumberSize = QVAPI_JOB_NUMBER_SIZE;

std::string Root(void (*builder)(char*)) {
    char buffer[win::MAX_PATH + 1] = {};
    builder(buffer);
    return buffer;
}

std::string Join(std::string_view a, std::string_view b) {
    std::string path(a);
    path += '\\';
    path.append(b);
    return path;
}

std::optional<std::string> ReadAll(const std::string& path) {
    qvp::FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ,
                                         nullptr, win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
    if (!file.valid()) return std::nullopt;
    const win::DWORD size = win::GetFileSize(file.get(), nullptr);
    if (size == win::INVALID_FILE_SIZE || size > kQvpBufferSize) return std::nullopt;
    std::string bytes(size, '\0');
    win::DWORD read = 0;
    if (size > 0 && (!win::ReadFile(file.get(), bytes.data(), size, &read, nullptr) || read != size))
        return std::nullopt;
    return bytes;
}

// Written beside the record and put in its place: a failed write leaves the stored record whole.
bool WriteAll(const std::string& path, std::string_view bytes) {
    return qvp::ReplaceFileContents(path, bytes.data(), bytes.size());
}

// Names of a directory in the walk's order (NTFS order), files or directories.
std::vector<std::string> List(const std::string& directory, bool directories) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAA data{};
    qvp::FindWalk find(Join(directory, "*"), data);
    if (!find.valid()) return names;
    do {
        const bool isDirectory = (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (data.dwFileAttributes & win::FILE_ATTRIBUTE_SYSTEM) continue;
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
        if (isDirectory == directories) names.emplace_back(data.cFileName);
    } while (find.Next(data));
    return names;
}

// NTFS order: ASCII upper-cased ordinal.
int CompareNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view NodeOfStatusKey(std::string_view key) {
    key = key.substr(0, kNodeKeyWidth);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    return key;
}

// A node name or job number names one folder or file of the store: nothing that climbs out of it
// (a double-byte character's trail byte 0x5C is no separator).
bool OneComponent(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           win::FindFirstSeparator(name) == std::string_view::npos;
}

bool MatchPattern(std::string_view pattern, std::string_view key) {
    if (pattern.size() != key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (pattern[i] != '?' && pattern[i] != key[i]) return false;
    return true;
}

int Put(std::string_view text, char* reply, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(reply, text.data(), n);
    reply[n] = '\0';
    return static_cast<int>(n);
}

int PutRecord(std::string_view record, std::string_view key, char* reply, size_t size) {
    std::string text("0 0 2 i");
    text += std::to_string(record.size());
    text += ' ';
    text.append(record);
    text += " k";
    text += std::to_string(key.size());
    text += ' ';
    text.append(key);
    if (text.size() > size - 1) return Put(kTooLong, reply, size);
    return Put(text, reply, size);
}

std::string StatusPackageFileName(const QVAPI_INSPACKAGE& record) {
    const std::string dotted = DottedFromPackageKey(StatusPackageKey(record));
    char fileName[win::MAX_PATH + 1] = {};
    if (dotted.size() >= sizeof fileName || !qvpPackageNameToFileName(dotted.c_str(), fileName)) return {};
    return fileName;
}

bool Selected(const CursorState& state, const std::string& name) {
    if (!state.below) return name == state.match;
    return name == state.match ||
           (name.size() > state.match.size() && name.compare(0, state.match.size(), state.match) == 0 &&
            name[state.match.size()] == '.');
}

// The next record of the walk after the last name returned.
int Step(QVPAPI& block, int kind, char* reply, size_t size, bool positioning) {
    CursorState& state = State(block, kind);
    if (!state.walking) return Put(kNoMore, reply, size);
    for (const std::string& name : List(state.directory, false)) {
        if (!state.last.empty() && CompareNames(name, state.last) <= 0) continue;
        if (kind == kKindE && !Selected(state, name)) continue;
        std::optional<std::string> bytes = ReadAll(Join(state.directory, name));
        if (!bytes) return Put(kFileError, reply, size);
        state.last = name;
        if (kind == kKindS) {
            if (bytes->size() < QVAPI_INSPACKAGE_SIZE) return Put(kTooLong, reply, size);
            QVAPI_INSPACKAGE record;
            std::memcpy(&record, bytes->data(), sizeof record);
            return PutRecord(*bytes, StatusKey(state.match, record), reply, size);
        }
        const std::string key = name + state.directory.substr(state.directory.size() - kJobNumberSize);
        return PutRecord(*bytes, key, reply, size);
    }
    return Put(positioning && state.last.empty() ? kNotFound : kNoMore, reply, size);
}

int Position(QVPAPI& block, const Op& op, char* reply, size_t size) {
    CursorState& state = State(block, op.kind);
    state = CursorState();
    if (op.kind == kKindS) {
        state.match = std::string(NodeOfStatusKey(op.key));
        if (!OneComponent(state.match)) return Put(kNotFound, reply, size);
        state.directory = Join(Root(qvpMakeMngflStatusPath), state.match);
    } else {
        if (op.key.size() <= kJobNumberSize) return Put(kNotFound, reply, size);
        const std::string_view number = op.key.substr(op.key.size() - kJobNumberSize);
        std::string_view name = op.key.substr(0, op.key.size() - kJobNumberSize);
        if (name.size() >= 2 && name.substr(name.size() - 2) == ".*") {
            state.below = true;
            name.remove_suffix(2);
        }
        if (!OneComponent(name) || !OneComponent(number)) return Put(kNotFound, reply, size);
        state.match = std::string(name);
        state.directory = Join(Root(qvpMakeMngflExecutionPath), number);
    }
    state.walking = true;
    return Step(block, op.kind, reply, size, true);
}

int Update(const Op& op, char* reply, size_t size) {
    std::string path;
    if (op.kind == kKindS) {
        if (op.record.size() < QVAPI_INSPACKAGE_SIZE) return Put(kTooLong, reply, size);
        QVAPI_INSPACKAGE record;
        std::memcpy(&record, op.record.data(), sizeof record);
        const std::string_view node = NodeOfStatusKey(op.key);
        if (!OneComponent(node)) return Put(kNotFound, reply, size);
        const std::string fileName = StatusPackageFileName(record);
        if (!OneComponent(fileName)) return Put(kNotFound, reply, size);
        path = Join(Join(Root(qvpMakeMngflStatusPath), node), fileName);
    } else {
        if (op.key.size() <= kJobNumberSize) return Put(kNotFound, reply, size);
        const std::string_view number = op.key.substr(op.key.size() - kJobNumberSize);
        const std::string_view node = op.key.substr(0, op.key.size() - kJobNumberSize);
        if (!OneComponent(node) || !OneComponent(number)) return Put(kNotFound, reply, size);
        path = Join(Join(Root(qvpMakeMngflExecutionPath), number), node);
    }
    const std::string directory = path.substr(0, path.rfind('\\'));
    if (!qvpCreateDirectory(directory.c_str()) || !WriteAll(path, op.record))
        return Put(kFileError, reply, size);
    return Put(kOk, reply, size);
}

int Delete(const Op& op, char* reply, size_t size) {
    const std::string root = Root(qvpMakeMngflStatusPath);
    size_t deleted = 0;
    for (const std::string& node : List(root, true)) {
        const std::string directory = Join(root, node);
        for (const std::string& name : List(directory, false)) {
            std::optional<std::string> bytes = ReadAll(Join(directory, name));
            if (!bytes || bytes->size() < QVAPI_INSPACKAGE_SIZE) continue;
            QVAPI_INSPACKAGE record;
            std::memcpy(&record, bytes->data(), sizeof record);
            if (!MatchPattern(op.key, StatusKey(node, record))) continue;
            if (!win::DeleteFile(Join(directory, name).c_str())) return Put(kFileError, reply, size);
            ++deleted;
        }
    }
    return Put(deleted > 0 ? kOk : kNotFound, reply, size);
}

}  // namespace

int Answer(QVPAPI& block, const Op& op, char* reply, size_t size) {
    switch (op.verb) {
        case Op::Verb::First:
            // Without a key there is no node to walk: the files are kept per node.
            State(block, op.kind) = CursorState();
            return Put(kNotFound, reply, size);
        case Op::Verb::Key: return Position(block, op, reply, size);
        case Op::Verb::Next: return Step(block, op.kind, reply, size, false);
        case Op::Verb::Update: return Update(op, reply, size);
        case Op::Verb::Delete: return Delete(op, reply, size);
        case Op::Verb::Release: State(block, op.kind) = CursorState(); return Put(kOk, reply, size);
    }
    return Put(kNotFound, reply, size);
}

}  // namespace qvp::records::local

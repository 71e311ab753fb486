// The soft-refer file of a software-search job: the chosen lists joined into one file, then
// rewritten as sorted, normalised records. Each list is read once, so a list that grows while
// it is read can never overrun what was sized for it, and the sorted file replaces the old one
// only when it is complete.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/temp_file.h"
#include "jobgen/jobgen_file.h"
#include "jobgen/soft_lists.h"

namespace qvp::jobgen {

namespace {

constexpr FrameTexts kReCreateFrame{"qvAPIReCreateSoftReferJobGen"};
constexpr FrameTexts kSortFrame{"qvAPIReCreateSortJobGen"};

namespace msg {
constexpr char kOutputNull[] = "%s : Parameter Error : lpOutputPath is NULL";
constexpr char kStat[] = "%s : _stat Error : errno = %d";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kWriteFile[] = "%s : WriteFile %s : ErrorCode = %d";
constexpr char kSortPathNull[] = "%s : Parameter Error : lpSortPath is NULL";
constexpr char kRecordCount[] = "%s : Reccnt = 0";
}  // namespace msg

constexpr int kFields = 9;
constexpr size_t kLinePiece = 511;  // characters of one line read at a time

// A list's name as a path part: at most 32 characters, no separator, not "." or "..".
bool IsListName(const char* name) {
    const std::string_view text(name, strnlen(name, kListNameMax + 1));
    return text.size() <= kListNameMax && text != "." && text != ".." &&
           win::FindFirstSeparator(std::string(text)) == std::string::npos;
}

// The whole file, read once (no sharing). 0 or the Windows error; `opened` tells which step.
win::DWORD ReadOnce(const std::string& path, std::string& out, bool& opened) {
    FileHandle file(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                    win::FILE_ATTRIBUTE_NORMAL, nullptr));
    opened = file.valid();
    if (!opened) return win::GetLastError();
    out.clear();
    char chunk[8192];
    for (;;) {
        win::DWORD read = 0;
        if (win::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) == 0) return win::GetLastError();
        if (read == 0) return 0;
        out.append(chunk, read);
    }
}

bool WriteReplacing(const std::string& path, const std::string& bytes) {
    return ReplaceFileContents(path, bytes.data(), bytes.size());
}

uint32_t ReCreate(CallContext& call, uint32_t type, const char* name, const char* output) {
    const char* fn = call.function();
    if (name == nullptr) {
        call.Log(softmsg::kNameNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    // The name becomes a folder of SOFTLIST: it must stay one.
    if (!IsListName(name)) {
        call.Log(softmsg::kNameInvalid, fn, name);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    if (output == nullptr || output[0] == '\0') {
        call.Log(msg::kOutputNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const bool named = name[0] != '\0';
    std::string userList, defaultList;
    switch (type) {
    case QVAPI_SOFTLIST_DEFAULT:
        if (named) defaultList = ListFilePath(kDefaultList);
        break;
    case QVAPI_SOFTLIST_USER:
        if (named) userList = ListFilePath(name);
        defaultList = ListFilePath(kDefaultList);
        break;
    case QVAPI_SOFTLIST_USER_ONLY:
        if (named) userList = ListFilePath(name);
        break;
    case QVAPI_SOFTLIST_NONE:
        break;
    default:
        call.Log(softmsg::kTypeInvalid, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::string bytes;
    for (const std::string* path : {&userList, &defaultList}) {
        if (path->empty()) continue;
        if (win::GetFileAttributes(path->c_str()) == win::INVALID_FILE_ATTRIBUTES) {
            call.Log(msg::kStat, fn, win::CRT_ENOENT);
            return QVAPI_ERR_RESOURCE;
        }
        std::string part;
        bool opened = false;
        if (win::DWORD error = ReadOnce(*path, part, opened); error != 0) {
            call.Log(opened ? msg::kReadFile : msg::kCreateFile, fn, path->c_str(), static_cast<int>(error));
            return QVAPI_ERR_RESOURCE;
        }
        bytes += part;
        // The default list's first line must not join the user list's last one.
        if (path == &userList && type == QVAPI_SOFTLIST_USER && !bytes.empty() &&
            !(bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0))
            bytes += "\r\n";
    }
    if (bytes.empty()) {
        if (type == QVAPI_SOFTLIST_DEFAULT) return 0;
        bytes.assign(1, '#');
    }
    if (!WriteReplacing(output, bytes)) {
        call.Log(msg::kWriteFile, fn, output, static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

// One record of the sort: its line and its nine fields pointing into it.
struct SoftRecord {
    std::array<char, kLinePiece + 1> line{};
    std::array<char*, kFields> fields{};
};

// The lines a text-mode read gives: CR LF read as LF, pieces of at most 511 characters.
std::vector<std::string> Pieces(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    std::vector<std::string> pieces;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        end = std::min(end, at + kLinePiece);
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    return pieces;
}

uint32_t Sort(CallContext& call, const char* path) {
    const char* fn = call.function();
    if (path == nullptr || path[0] == '\0' || strnlen(path, kMaxPath + 1) > kMaxPath) {
        call.Log(msg::kSortPathNull, fn);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    std::string bytes;
    bool opened = false;
    if (ReadOnce(path, bytes, opened) != 0) return QVAPI_ERR_INVALID_PARAMETER;
    const std::vector<std::string> pieces = Pieces(bytes);
    std::vector<SoftRecord> records;
    records.reserve(pieces.size());  // the field pointers point into the records: never moved
    for (const std::string& piece : pieces) {
        if (piece[0] == '#' || piece[0] == '\n') continue;
        SoftRecord& r = records.emplace_back();
        std::memcpy(r.line.data(), piece.data(), piece.size());
        if (char* lf = std::strrchr(r.line.data(), '\n')) *lf = '\0';
        qvpSplitFields(r.line.data(), r.fields.data(), ';', kFields);
    }
    if (records.empty()) {
        call.Log(msg::kRecordCount, fn);
        return 0;
    }
    std::vector<const SoftRecord*> order;
    order.reserve(records.size());
    for (const SoftRecord& r : records) order.push_back(&r);
    std::stable_sort(order.begin(), order.end(), [](const SoftRecord* a, const SoftRecord* b) {
        return qvpCompareSoftReferLine(a->fields.data(), b->fields.data()) < 0;
    });
    std::string out;
    for (const SoftRecord* r : order) {
        for (int i = 0; i < kFields; ++i) {
            if (i != 0) out.push_back(';');
            if (r->fields[i] != nullptr) out += r->fields[i];
        }
        out.push_back('\n');
    }
    // Written beside and swapped in: a failure leaves the unsorted file, never none.
    if (!WriteReplacing(path, out)) {
        call.Log(msg::kWriteFile, fn, path, static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

// One key: absent first; both absent equal; else the case-blind order, reversed on request.
int CompareField(const char* a, const char* b, bool descending) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : a == nullptr ? -1 : 1;
    const int order = win::_stricmp(a, b);
    return descending ? -order : order;
}

}  // namespace

int qvpSplitFields(char* text, char** fields, char separator, int n) {
    char* at = text;
    int i = 0;
    while (i < n - 1) {
        char* sep = std::strchr(at, separator);
        if (sep == nullptr) break;
        *sep = '\0';
        fields[i++] = sep == at ? nullptr : at;
        at = sep + 1;
    }
    if (*at != '\0' && i < n) {
        fields[i++] = at;
        if (char* sep = std::strchr(at, separator)) *sep = '\0';
    }
    return i;
}

int qvpCompareSoftReferLine(char* const* a, char* const* b) {
    // Both records without a key end the comparison there, as the lists' order has it.
    for (int field : {2, 6}) {
        if (a[field] == nullptr && b[field] == nullptr) return 0;
        if (int order = CompareField(a[field], b[field], false); order != 0) return order;
    }
    return CompareField(a[7], b[7], true);
}

}  // namespace qvp::jobgen

using namespace qvp::jobgen;

extern "C" QVPAPI_EXPORT int qvAPIReCreateSoftReferJobGen(uint32_t dwListType, const char* lpSoftRefer,
                                                          const char* lpOutputPath, uint32_t, uint32_t) {
    return qvp::RunApi(kReCreateFrame, 0, [&](qvp::CallContext& call) {
        return Finish(call, ReCreate(call, dwListType, lpSoftRefer, lpOutputPath));
    });
}

extern "C" QVPAPI_EXPORT int qvAPIReCreateSortJobGen(const char* lpSortPath, uint32_t, uint32_t) {
    return qvp::RunApi(kSortFrame, 0, [&](qvp::CallContext& call) { return Finish(call, Sort(call, lpSortPath)); });
}

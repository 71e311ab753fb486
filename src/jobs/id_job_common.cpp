#include "jobs/id_job_common.h"
#include "jobs/job_texts.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/memory.h"
#include "core/text.h"
#include "jobgen/jobgen_file.h"
#include "jobs/job_walks.h"
#include "jobs/package_job_record.h"
#include "platform/byte_order.h"
#include "records/records.h"

namespace qvp::jobs::idjob {

namespace {

constexpr size_t kNameField = offsetof(QVAPI_EXECUTION, szNodeName);
constexpr size_t kNameFieldSize = sizeof(QVAPI_EXECUTION::szNodeName);
constexpr size_t kFirstItemLength = 954;  // u16, network order
constexpr size_t kFirstItemText = 956;
constexpr size_t kPathFormSize = kMaxPath + 1;

constexpr char kFileCopyFailed[] = "%s : qvpAPIFileCopy Error = 0x%8.8x";

}  // namespace

const Layout kPlain{QVAPI_NODE_JOB_SIZE,
                    sizeof(QVAPI_NODE_JOB::szNodeName),
                    offsetof(QVAPI_NODE_JOB, ucKind),
                    offsetof(QVAPI_NODE_JOB, szDateTime),
                    offsetof(QVAPI_NODE_JOB, szDisplayName),
                    kNodeJobCounter,
                    kSlotNodeJob};
const Layout kEx{QVAPI_NODE_JOB_EX_SIZE,
                 sizeof(QVAPI_NODE_JOB_EX::szNodeName),
                 offsetof(QVAPI_NODE_JOB_EX, ucKind),
                 offsetof(QVAPI_NODE_JOB_EX, szDateTime),
                 offsetof(QVAPI_NODE_JOB_EX, szDisplayName),
                 kNodeJobExCounter,
                 kSlotNodeJobEx};

std::string_view LastComponent(std::string_view dotted) {
    const size_t dot = dotted.rfind('.');
    return dot == std::string_view::npos ? dotted : dotted.substr(dot + 1);
}

bool PathPart(std::string_view dotted, std::string_view& path) {
    const size_t dot = dotted.rfind('.');
    if (dot == std::string_view::npos) return false;
    path = dotted.substr(0, dot);
    return true;
}

bool IsIdComponent(std::string_view component) { return !component.empty() && component.front() == '%'; }

std::string ToDotted(const char* pathForm) {
    if (pathForm == nullptr) return {};
    // Path forms longer than a path are cut to one, as the conversion's buffer holds.
    const std::string bounded(pathForm, strnlen(pathForm, kMaxPath));
    char dotted[kPathFormSize] = {};
    qvpPathToDottedName(bounded.c_str(), dotted);
    return dotted;
}

std::string ToPathForm(std::string_view dotted) {
    const std::string bounded(dotted.substr(0, kMaxPath));
    char path[kPathFormSize] = {};
    qvpDottedNameToPath(bounded.c_str(), path);
    return path;
}

std::string RecordNodeName(const unsigned char* record, size_t recordSize) {
    const size_t length = std::min<size_t>(recordSize, QVAPI_EXECUTION_MAX_SIZE);
    if (length < kNameField + kNameFieldSize) return {};
    const char* field = reinterpret_cast<const char*>(record + kNameField);
    std::string_view name(field, strnlen(field, kNameFieldSize));
    if (name.empty() && length > kFirstItemText) {
        // The item's stated length is taken only as far as the record reaches.
        const size_t stated = be16(record + kFirstItemLength);
        const char* text = reinterpret_cast<const char*>(record + kFirstItemText);
        name = std::string_view(text, strnlen(text, std::min(stated, length - kFirstItemText)));
    }
    return std::string(name.substr(0, name.find(' ')));
}

void PutText(unsigned char* field, size_t width, std::string_view text) {
    const size_t length = std::min(text.size(), width - 1);
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), length);
}

std::vector<std::string> IdsOfJob(const JobFile& file) {
    std::vector<std::string> ids;
    std::unordered_set<std::string_view> seen;
    for (const Entry& entry : file.entries) {
        const std::string_view last = LastComponent(entry.name);
        if (IsIdComponent(last) && seen.insert(last).second) ids.emplace_back(last);
    }
    return ids;
}

bool FolderOfTree(JobTree tree, const char* folder, std::string& path) {
    path = JobTreeRoot(tree);
    if (folder != nullptr && std::strlen(folder) > 1) {
        if (HasDotLevel(folder)) return false;
        path += folder;
    }
    return path.size() < win::MAX_PATH;
}

uint32_t IdJobDirectory(CallContext& call, JobTree tree, const char* folder, const char* number,
                        bool admitPlainJobs, const char* selectFailed, std::string& directory) {
    constexpr int kFolder = 3, kJob = 4, kIdJob = 5;  // qvAPISelectFile's kinds
    QVPAPI& block = call.block();
    std::string path;
    win::WIN32_FIND_DATAA data{};
    if (!FolderOfTree(tree, folder, path) || jobgen::SelectFile(block, path, data) != kFolder) {
        call.Log(kNoFolderText, call.function());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    // The number is one level of the folder: with a separator, a wildcard, or as "." or ".." it
    // would name something else.
    if (std::strpbrk(number, "\\/*?") != nullptr || std::strcmp(number, ".") == 0 || std::strcmp(number, "..") == 0) {
        call.Log(kNoIdJobText, call.function(), -1);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    directory = path + "\\" + number;
    if (directory.size() + 1 + std::strlen(kJobExecFileName) >= win::MAX_PATH) {
        call.Log(text::kPathTooLong, call.function(), directory.c_str());
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    const int kind = jobgen::SelectFile(block, directory, data);
    if (kind < 0) {
        const uint32_t error = win::GetLastError();
        call.Log(selectFailed, call.function(), error);
        return SelectFailureCode(error);
    }
    // A folder has no jobexecfile for the workers to read: it is no job either.
    if (kind != kIdJob && !(kind == kJob && admitPlainJobs)) {
        call.Log(kNoIdJobText, call.function(), kind);
        return QVAPI_ERR_INVALID_PARAMETER;
    }
    return 0;
}

uint32_t LoadJobFile(CallContext& call, const std::string& path, JobFile& file) {
    void* buffer = nullptr;
    uint32_t size = 0;
    if (qvpAPIFileCopy(&call.block(), path.c_str(), &buffer, &size, nullptr, 1, &kJobExecFileLayout) < 0) {
        const uint32_t code = qvAPIGetLastError();
        call.Log(kFileCopyFailed, call.function(), code);
        return code;
    }
    const uint32_t code = ParseJobFile(std::string_view(static_cast<const char*>(buffer), size), file);
    qvpAPIFree(buffer);
    if (code != 0) call.Log(text::kDefectiveFile, call.function(), path.c_str(), static_cast<int>(code));
    return code;
}

const unsigned char* FindFirst(QVPAPI& block, std::string_view number, const std::string& name, uint32_t& code) {
    const std::string terminated(number);
    const auto* record =
        reinterpret_cast<const unsigned char*>(qvpAPIFindCommand(&block, terminated.c_str(), name.c_str()));
    code = record == nullptr ? qvAPIGetLastError() : 0;
    // A failure that left no code is still no success.
    if (record == nullptr && code == 0) code = QVAPI_ERR_UNEXPECTED_DATA;
    return record;
}

const unsigned char* FindNext(QVPAPI& block, uint32_t& code) {
    const auto* record = reinterpret_cast<const unsigned char*>(qvpAPIGetNextCommand(&block));
    code = record == nullptr ? qvAPIGetLastError() : 0;
    if (record == nullptr && code == 0) code = QVAPI_ERR_UNEXPECTED_DATA;
    return record;
}

}  // namespace qvp::jobs::idjob

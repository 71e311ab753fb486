// Query objects and the conditions the Abstract enumerators read.
#include "jobs/query.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/memory.h"
#include "nodes/name_checks.h"

namespace qvp::jobs {

namespace {

constexpr uint32_t kKindFirst = 1;
constexpr uint32_t kKindLast = 6;
constexpr uint32_t kClientAsGiven = 0x80000000u;
constexpr uint32_t kClientHostId = 0x1000000u;

constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr char kLogicalErr[] = "%s : Logical Err : ErrorCode = 0x%8.8x";
constexpr char kKindInvalid[] = "%s : Parameter Error : qvAbstractKind Value is INVALID %d";
constexpr char kMallocError[] = "%s : malloc Error : %d";
constexpr char kHandleInvalidLine[] = "%s : Parameter Error : hQuery Handle Value is INVALID %d";
constexpr char kHandleInvalid[] = "%s : Parameter Error : hQuery Handle Value is INVALID";
constexpr char kClientHandleInvalid[] = "%s : Parameter Error : Query Handle Value is INVALID";
constexpr char kValueInvalid[] = "%s : Parameter Error : %s Value is INVALID";
constexpr char kShortHandleInvalid[] = "%s : hQuery Handle Value is INVALID";
constexpr char kOptionInvalid[] = "%s : dwIDJobOption = 0x%8.8x";

QueryObject*& Head(QVPAPI& block) { return reinterpret_cast<QueryObject*&>(block.queries); }

// Which text field a condition writes.
enum class Field { Folder, JobNumber, Client };

struct TextCondition {
    const char* name;
    Field field;
    const char* valueLabel;   // the text argument as the log lines name it
    const char* optionLabel;  // nullptr: the operation takes no option
    bool (*optionValid)(uint32_t);
    const char* nullAs;       // what NULL stands for; nullptr refuses it
    bool clear;               // a deleter
    bool clientTexts;         // the client operations' own handle text and end line
};

bool FolderOption(uint32_t option) { return option == 1 || option == 2; }
bool ClientAttribute(uint32_t option) { return option == 0 || option == kClientHostId || option == kClientAsGiven; }

void FieldOf(QueryObject& query, Field field, char*& text, size_t& limit) {
    switch (field) {
        case Field::Folder: text = query.folder, limit = kQueryPathMax; return;
        case Field::JobNumber: text = query.jobNumber, limit = kQueryJobNumberMax; return;
        case Field::Client: text = query.client, limit = kQueryPathMax; return;
    }
}

int SetText(const TextCondition& op, QVPAPI_HANDLE hQuery, const char* value, uint32_t option) {
    const FrameTexts texts{op.name, op.clientTexts ? EndStyle::Hex : EndStyle::Result, nullptr, nullptr,
                           kLogicalError};
    return RunApi(texts, 0, [&](CallContext& call) {
        QueryObject* query = LiveQuery(call, hQuery, op.clientTexts ? kClientHandleInvalid : kHandleInvalid);
        if (query == nullptr) return 0;
        if (value == nullptr) value = op.nullAs;
        char* text = nullptr;
        size_t limit = 0;
        FieldOf(*query, op.field, text, limit);
        if (value == nullptr || std::strlen(value) > limit) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, kValueInvalid, op.name, op.valueLabel);
            return 0;
        }
        if (op.optionValid != nullptr && !op.optionValid(option)) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, kValueInvalid, op.name, op.optionLabel);
            return 0;
        }
        std::strcpy(text, op.clear ? "" : value);
        return 1;
    });
}

constexpr TextCondition kSetFolder{"qvAPISetJobFolderQuery", Field::Folder, "lpcszFolderPath", "dwFolderOption",
                                   FolderOption, "\\", false, false};
constexpr TextCondition kDeleteFolder{"qvAPIDeleteJobFolderQuery", Field::Folder, "lpcszFolderPath",
                                      "dwFolderOption", FolderOption, "\\", true, false};
constexpr TextCondition kSetNumber{"qvAPISetJobNumberQuery", Field::JobNumber, "lpcszJobNumber", nullptr, nullptr,
                                   nullptr, false, false};
constexpr TextCondition kDeleteNumber{"qvAPIDeleteJobNumberQuery", Field::JobNumber, "lpcszJobNumber", nullptr,
                                      nullptr, nullptr, true, false};
constexpr TextCondition kSetClient{"qvAPISetClientQuery", Field::Client, "lpcszClientPath", "dwClientAttribute",
                                   ClientAttribute, "\\", false, true};
constexpr TextCondition kDeleteClient{"qvAPIDeleteClientQuery", Field::Client, "lpcszClientPath",
                                      "dwClientAttribute", ClientAttribute, "\\", true, true};
constexpr TextCondition kSetJobClient{"qvAPISetJobClientQuery", Field::Client, "lpcszClientName", nullptr, nullptr,
                                      nullptr, false, false};
constexpr TextCondition kDeleteJobClient{"qvAPIDeleteJobClientQuery", Field::Client, "lpcszClientName", nullptr,
                                         nullptr, nullptr, true, false};

// The ID, ID-option and site operations: their own START line, then `change` on the live query.
template <class Change>
int SetWord(const char* name, QVPAPI_HANDLE hQuery, const char* startText, const char* shown, Change&& change) {
    const FrameTexts texts{name, EndStyle::Result, "", nullptr, kLogicalErr};
    return RunApi(texts, 0, [&](CallContext& call) {
        call.Log(startText, name, shown);
        QueryObject* query = LiveQuery(call, hQuery, kShortHandleInvalid);
        return query == nullptr ? 0 : change(call, *query);
    });
}

int SetId(const char* name, const char* startText, QVPAPI_HANDLE hQuery, const char* lpID, bool clear) {
    const char* shown = lpID == nullptr ? "(null)" : lpID;
    return SetWord(name, hQuery, startText, shown, [&](CallContext& call, QueryObject& query) {
        // The name rules of node names: at most 32 characters, no separators or dots.
        if (nodes::qvAPINameParameterCheckEx(lpID, kNameOptGeneral, "lpID", 0, 0) == 0) {
            call.Fail(qvAPIGetLastError());
            return 0;
        }
        std::strcpy(query.id, clear ? "" : lpID);
        return 1;
    });
}

int SetSite(const char* name, QVPAPI_HANDLE hQuery, uint32_t site) {
    return SetWord(name, hQuery, "%s START %s", "", [&](CallContext&, QueryObject& query) {
        query.site = site;
        return 1;
    });
}

}  // namespace

QueryObject* LiveQuery(CallContext& call, QVPAPI_HANDLE handle, const char* refusal) {
    for (QueryObject* query = Head(call.block()); query != nullptr; query = query->next)
        if (query == handle) return query;
    if (refusal != nullptr) call.Log(refusal, call.function());
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return nullptr;
}

void DropJobHead(QueryObject& query) {
    qvpAPIFree(query.jobHead);
    query.jobHead = nullptr;
}

bool IsIdJobNumber(const char* jobNumber) {
    return std::strncmp(jobNumber, "IB", 2) == 0 || std::strncmp(jobNumber, "IS", 2) == 0;
}

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreateQuery(uint32_t qvAbstractKind, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPICreateQuery", qvp::EndStyle::Hex, nullptr, nullptr, kLogicalError};
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        if (qvAbstractKind < kKindFirst || qvAbstractKind > kKindLast) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, kKindInvalid, call.function(), __LINE__);
            return QVPAPI_INVALID_HANDLE;
        }
        void* memory = qvpAPIAlloc(sizeof(QueryObject));
        if (memory == nullptr) {
            call.Failed(QVAPI_ERR_RESOURCE, kMallocError, call.function(), __LINE__);
            return QVPAPI_INVALID_HANDLE;
        }
        auto* query = new (memory) QueryObject;
        query->kind = qvAbstractKind;
        QueryObject*& head = Head(call.block());
        query->next = head;
        head = query;
        return query;
    });
}

extern "C" QVPAPI_EXPORT int qvAPICloseQuery(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPICloseQuery", qvp::EndStyle::Hex, nullptr, nullptr, kLogicalError};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (LiveQuery(call, hQuery) == nullptr) {
            call.Log(kHandleInvalidLine, call.function(), __LINE__);
            return 0;
        }
        for (QueryObject** link = &Head(call.block()); *link != nullptr; link = &(*link)->next) {
            if (*link != hQuery) continue;
            QueryObject* query = *link;
            *link = query->next;
            // A detail walk the caller left open keeps no memory past its query.
            DropJobHead(*query);
            query->~QueryObject();
            qvpAPIFree(query);
            break;
        }
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPISetJobFolderQuery(QVPAPI_HANDLE hQuery, const char* lpcszFolderPath,
                                                    uint32_t dwFolderOption, uint32_t, uint32_t) {
    return SetText(kSetFolder, hQuery, lpcszFolderPath, dwFolderOption);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobFolderQuery(QVPAPI_HANDLE hQuery, const char* lpcszFolderPath,
                                                       uint32_t dwFolderOption, uint32_t, uint32_t) {
    return SetText(kDeleteFolder, hQuery, lpcszFolderPath, dwFolderOption);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobNumberQuery(QVPAPI_HANDLE hQuery, const char* lpcszJobNumber, uint32_t,
                                                    uint32_t) {
    return SetText(kSetNumber, hQuery, lpcszJobNumber, 0);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobNumberQuery(QVPAPI_HANDLE hQuery, const char* lpcszJobNumber, uint32_t,
                                                       uint32_t) {
    return SetText(kDeleteNumber, hQuery, lpcszJobNumber, 0);
}

extern "C" QVPAPI_EXPORT int qvAPISetClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientPath,
                                                 uint32_t dwClientAttribute, uint32_t, uint32_t) {
    return SetText(kSetClient, hQuery, lpcszClientPath, dwClientAttribute);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientPath,
                                                    uint32_t dwClientAttribute, uint32_t, uint32_t) {
    return SetText(kDeleteClient, hQuery, lpcszClientPath, dwClientAttribute);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientName, uint32_t,
                                                    uint32_t) {
    return SetText(kSetJobClient, hQuery, lpcszClientName, 0);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobClientQuery(QVPAPI_HANDLE hQuery, const char* lpcszClientName, uint32_t,
                                                       uint32_t) {
    return SetText(kDeleteJobClient, hQuery, lpcszClientName, 0);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobIDQuery(QVPAPI_HANDLE hQuery, const char* lpID, uint32_t, uint32_t) {
    return SetId("qvAPISetJobIDQuery", "%s START :lpID = %s", hQuery, lpID, false);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobIDQuery(QVPAPI_HANDLE hQuery, const char* lpID, uint32_t, uint32_t) {
    return SetId("qvAPIDeleteJobIDQuery", "%s START : lpID = %s", hQuery, lpID, true);
}

extern "C" QVPAPI_EXPORT int qvAPISetJobIDOptionQuery(QVPAPI_HANDLE hQuery, uint32_t dwIDJobOption, uint32_t,
                                                      uint32_t) {
    static constexpr char kName[] = "qvAPISetJobIDOptionQuery";
    char shown[16];
    std::snprintf(shown, sizeof shown, "0x%8.8x", dwIDJobOption);
    const char* start = "%s START :dwIDJobOption = %s";
    return SetWord(kName, hQuery, start, shown, [&](qvp::CallContext& call, QueryObject& query) {
        if (dwIDJobOption != 1 && dwIDJobOption != 2) {
            call.Failed(QVAPI_ERR_INVALID_PARAMETER, kOptionInvalid, kName, dwIDJobOption);
            return 0;
        }
        query.idJobOption = dwIDJobOption;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobIDOptionQuery(QVPAPI_HANDLE hQuery, uint32_t, uint32_t, uint32_t) {
    static constexpr char kName[] = "qvAPIDeleteJobIDOptionQuery";
    return SetWord(kName, hQuery, "%s START%s", "", [&](qvp::CallContext&, QueryObject& query) {
        query.idJobOption = 0;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPISetJobSiteQuery(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return SetSite("qvAPISetJobSiteQuery", hQuery, 1);
}

extern "C" QVPAPI_EXPORT int qvAPIDeleteJobSiteQuery(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return SetSite("qvAPIDeleteJobSiteQuery", hQuery, 0);
}

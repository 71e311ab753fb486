// The Abstract enumerators: job, detail (package) and node walks driven by a query's conditions.
// First picks a finder family by the ID-job option, the job number's prefix, the ID name and the
// site flag, and keeps the choice (the mode) and the finder's handle in the query; Next and
// Close go to the same finder. The finders keep their own state per thread.
#include <cstring>
#include <string>

#include "core/memory.h"
#include "jobs/job_records.h"
#include "jobs/job_walks.h"
#include "jobs/query.h"
#include "jobs/site_id_jobs.h"

namespace qvp::jobs {

namespace {

constexpr uint32_t kAdmitPlainJobs = 4;  // the client ID job walk returns plain jobs as well
constexpr size_t kQueryResultHead = offsetof(QVAPI_QJOB, Job) + sizeof(QVAPI_JOB);

constexpr char kHandleInvalid[] = "%s : Parameter Error : hQuery Handle Value is INVALID";
constexpr char kNodeHandleInvalid[] = "%s\t: Parameter Error : hQuery Handle Value is INVALID";
constexpr char kStepHandleInvalid[] = "%s : Parameter Error : handle Handle Value is INVALID";
constexpr char kResultInvalid[] = "%s : Parameter Error : %s Value is INVALID";
constexpr char kFinderError[] = "%s : %s Error";
constexpr char kLogicalError[] = "%s : Logical Error : ErrorCode = 0x%8.8x";
constexpr char kPathTooLong[] = "%s : Path Field Error : %s";

// One finder family behind a mode: its three operations over the query's conditions. The record
// is the part of the caller's result the finder writes; `param3` and `collect` reach only the
// package finders.
struct Finder {
    const char* first;
    const char* next;
    const char* close;
    QVPAPI_HANDLE (*start)(const QueryObject& query, void* record, uint32_t param3, char** collect);
    int (*step)(QVPAPI_HANDLE handle, void* record, uint32_t param3, char** collect);
    int (*end)(QVPAPI_HANDLE handle);
};

QVAPI_JOB* AsJob(void* record) { return static_cast<QVAPI_JOB*>(record); }
QVAPI_PACKAGE_JOB* AsPackageJob(void* record) { return static_cast<QVAPI_PACKAGE_JOB*>(record); }
QVAPI_NODE_JOB* AsNodeJob(void* record) { return static_cast<QVAPI_NODE_JOB*>(record); }
QVAPI_NODE_JOB_EX* AsNodeJobEx(void* record) { return static_cast<QVAPI_NODE_JOB_EX*>(record); }

// Rows by mode; row 0 serves any other mode value (Next or Close on an idle family then reach
// the plain finder with no handle, which refuses it).
const Finder kJobFinders[] = {
    {"qvAPIFindFirstJob", "qvAPIFindNextJob", "qvAPIFindCloseJob",
     [](const QueryObject& q, void* r, uint32_t, char**) { return qvAPIFindFirstJob(q.folder, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextJob(h, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseJob(h, 0, 0); }},
    {"qvAPIFindFirstClientIDJob", "qvAPIFindNextClientIDJob", "qvAPIFindCloseClientIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstClientIDJob(q.folder, AsJob(r), kAdmitPlainJobs, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextClientIDJob(h, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseClientIDJob(h, 0, 0); }},
    {"qvAPIFindFirstJob", "qvAPIFindNextJob", "qvAPIFindCloseJob",
     [](const QueryObject& q, void* r, uint32_t, char**) { return qvAPIFindFirstJob(q.folder, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextJob(h, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseJob(h, 0, 0); }},
    {"qvAPIFindFirstSiteClientIDJob", "qvAPIFindNextSiteClientIDJob", "qvAPIFindCloseSiteClientIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstSiteClientIDJob(q.folder, AsJob(r), kAdmitPlainJobs, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextSiteClientIDJob(h, AsJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteClientIDJob(h, 0, 0); }},
};

// The node the package walk is asked about: with option 2 on an ID job, the client's entry of
// the query's ID ("<client>\%<ID>").
std::string PackageNode(const QueryObject& q) {
    std::string node = q.client;
    if (q.idJobOption == 2 && IsIdJobNumber(q.jobNumber)) node.append("\\%").append(q.id);
    return node;
}

const Finder kPackageJob = {
    "qvAPIFindFirstPackageJob", "qvAPIFindNextPackageJob", "qvAPIFindClosePackageJob",
    [](const QueryObject& q, void* r, uint32_t p3, char** collect) {
        return qvAPIFindFirstPackageJob(q.folder, q.jobNumber, PackageNode(q).c_str(), AsPackageJob(r), p3, collect);
    },
    [](QVPAPI_HANDLE h, void* r, uint32_t p3, char** collect) {
        return qvAPIFindNextPackageJob(h, AsPackageJob(r), p3, collect);
    },
    [](QVPAPI_HANDLE h) { return qvAPIFindClosePackageJob(h, 0, 0); }};

const Finder kDetailFinders[] = {
    kPackageJob,
    {"qvAPIFindFirstClientPackageIDJob", "qvAPIFindNextClientPackageIDJob", "qvAPIFindCloseClientPackageIDJob",
     [](const QueryObject& q, void* r, uint32_t p3, char**) {
         return qvAPIFindFirstClientPackageIDJobEx(q.folder, q.jobNumber, q.client, q.id, AsPackageJob(r), p3, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t p3, char**) {
         return qvAPIFindNextClientPackageIDJob(h, AsPackageJob(r), p3, 0);
     },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseClientPackageIDJob(h, 0, 0); }},
    kPackageJob,
    {"qvAPIFindFirstSiteClientPackageIDJob", "qvAPIFindNextSiteClientPackageIDJob",
     "qvAPIFindCloseSiteClientPackageIDJob",
     [](const QueryObject& q, void* r, uint32_t p3, char**) {
         return qvAPIFindFirstSiteClientPackageIDJobEx(q.folder, q.jobNumber, q.client, q.id, AsPackageJob(r), p3, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t p3, char**) {
         return qvAPIFindNextSiteClientPackageIDJob(h, AsPackageJob(r), p3, 0);
     },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteClientPackageIDJob(h, 0, 0); }},
};

const Finder kNodeJob = {
    "qvAPIFindFirstNodeJob", "qvAPIFindNextNodeJob", "qvAPIFindCloseNodeJob",
    [](const QueryObject& q, void* r, uint32_t, char**) {
        return qvAPIFindFirstNodeJob(q.folder, q.jobNumber, AsNodeJob(r), 0, 0);
    },
    [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextNodeJob(h, AsNodeJob(r), 0, 0); },
    [](QVPAPI_HANDLE h) { return qvAPIFindCloseNodeJob(h, 0, 0); }};

const Finder kNodeFinders[] = {
    kNodeJob,
    {"qvAPIFindFirstKeepIDJob", "qvAPIFindNextKeepIDJob", "qvAPIFindCloseKeepIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstKeepIDJob(q.folder, q.jobNumber, q.id, AsNodeJob(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextKeepIDJob(h, AsNodeJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseKeepIDJob(h, 0, 0); }},
    {"qvAPIFindFirstIDJob", "qvAPIFindNextIDJob", "qvAPIFindCloseIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstIDJob(q.folder, q.jobNumber, AsNodeJob(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextIDJob(h, AsNodeJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseIDJob(h, 0, 0); }},
    kNodeJob,
    {"qvAPIFindFirstSiteKeepIDJob", "qvAPIFindNextSiteKeepIDJob", "qvAPIFindCloseSiteKeepIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstSiteKeepIDJob(q.folder, q.jobNumber, q.id, AsNodeJob(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextSiteKeepIDJob(h, AsNodeJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteKeepIDJob(h, 0, 0); }},
    {"qvAPIFindFirstSiteIDJob", "qvAPIFindNextSiteIDJob", "qvAPIFindCloseSiteIDJob",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstSiteIDJob(q.folder, q.jobNumber, AsNodeJob(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextSiteIDJob(h, AsNodeJob(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteIDJob(h, 0, 0); }},
};

const Finder kNodeJobEx = {
    "qvAPIFindFirstNodeJobEx", "qvAPIFindNextNodeJobEx", "qvAPIFindCloseNodeJobEx",
    [](const QueryObject& q, void* r, uint32_t, char**) {
        return qvAPIFindFirstNodeJobEx(q.folder, q.jobNumber, AsNodeJobEx(r), 0, 0);
    },
    [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextNodeJobEx(h, AsNodeJobEx(r), 0, 0); },
    [](QVPAPI_HANDLE h) { return qvAPIFindCloseNodeJobEx(h, 0, 0); }};

const Finder kNodeExFinders[] = {
    kNodeJobEx,
    {"qvAPIFindFirstKeepIDJobEx", "qvAPIFindNextKeepIDJobEx", "qvAPIFindCloseKeepIDJobEx",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstKeepIDJobEx(q.folder, q.jobNumber, q.id, AsNodeJobEx(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextKeepIDJobEx(h, AsNodeJobEx(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseKeepIDJobEx(h, 0, 0); }},
    {"qvAPIFindFirstIDJobEx", "qvAPIFindNextIDJobEx", "qvAPIFindCloseIDJobEx",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstIDJobEx(q.folder, q.jobNumber, AsNodeJobEx(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextIDJobEx(h, AsNodeJobEx(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseIDJobEx(h, 0, 0); }},
    kNodeJobEx,
    {"qvAPIFindFirstSiteKeepIDJobEx", "qvAPIFindNextSiteKeepIDJobEx", "qvAPIFindCloseSiteKeepIDJobEx",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstSiteKeepIDJobEx(q.folder, q.jobNumber, q.id, AsNodeJobEx(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) {
         return qvAPIFindNextSiteKeepIDJobEx(h, AsNodeJobEx(r), 0, 0);
     },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteKeepIDJobEx(h, 0, 0); }},
    {"qvAPIFindFirstSiteIDJobEx", "qvAPIFindNextSiteIDJobEx", "qvAPIFindCloseSiteIDJobEx",
     [](const QueryObject& q, void* r, uint32_t, char**) {
         return qvAPIFindFirstSiteIDJobEx(q.folder, q.jobNumber, AsNodeJobEx(r), q.idJobOption, 0, 0);
     },
     [](QVPAPI_HANDLE h, void* r, uint32_t, char**) { return qvAPIFindNextSiteIDJobEx(h, AsNodeJobEx(r), 0, 0); },
     [](QVPAPI_HANDLE h) { return qvAPIFindCloseSiteIDJobEx(h, 0, 0); }},
};

// One Abstract family: its finders, the query's walk it keeps, where its record sits in the
// caller's result, and the texts of its lines.
struct Family {
    const Finder* finders;
    size_t count;
    QueryWalk QueryObject::*walk;
    size_t recordOffset;
    const char* resultLabel;
    const char* firstHandleText;
};

template <size_t N>
constexpr Family MakeFamily(const Finder (&finders)[N], QueryWalk QueryObject::*walk, size_t offset,
                            const char* label, const char* handleText) {
    return {finders, N, walk, offset, label, handleText};
}

const Family kJobFamily = MakeFamily(kJobFinders, &QueryObject::job, offsetof(QVAPI_QJOB, Job), "lpResultQJob",
                                     kHandleInvalid);
const Family kDetailFamily = MakeFamily(kDetailFinders, &QueryObject::detail, offsetof(QVAPI_QDETAIL_JOB, PackageJob),
                                        "lpResultQDetailJob", kHandleInvalid);
const Family kNodeFamily = MakeFamily(kNodeFinders, &QueryObject::node, offsetof(QVAPI_QNODE_JOB, NodeJob),
                                      "lpResultQNodeJob", kNodeHandleInvalid);
const Family kNodeExFamily = MakeFamily(kNodeExFinders, &QueryObject::node, offsetof(QVAPI_QNODE_JOB, NodeJob),
                                        "lpResultQNodeJob", kNodeHandleInvalid);

const Finder& FinderOf(const Family& family, uint32_t mode) {
    return family.finders[mode < family.count ? mode : 0];
}

// Fails the call with the code the finder left.
void FinderFailed(CallContext& call, const char* finder) {
    const uint32_t code = qvAPIGetLastError();
    call.Log(kFinderError, call.function(), finder);
    call.Fail(code != 0 ? code : QVAPI_ERR_UNEXPECTED_DATA);
}

// The argument checks every First and Next makes; nullptr when the call is refused (and then the
// query is left as it was).
QueryObject* Checked(CallContext& call, const Family& family, QVPAPI_HANDLE hQuery, const void* result,
                     const char* handleText) {
    QueryObject* query = LiveQuery(call, hQuery, handleText);
    if (query == nullptr) return nullptr;
    if (result == nullptr) {
        call.Failed(QVAPI_ERR_INVALID_PARAMETER, kResultInvalid, call.function(), family.resultLabel);
        return nullptr;
    }
    return query;
}

void* RecordOf(const Family& family, void* result) { return static_cast<char*>(result) + family.recordOffset; }

// Starts the finder of `mode`; false (the family idle, the finder's code set) when it fails.
bool Start(CallContext& call, const Family& family, QueryObject& query, uint32_t mode, void* result,
           uint32_t param3, char** collect) {
    const Finder& finder = FinderOf(family, mode);
    QueryWalk& walk = query.*family.walk;
    const QVPAPI_HANDLE handle = finder.start(query, RecordOf(family, result), param3, collect);
    if (handle == QVPAPI_INVALID_HANDLE) {
        walk = {};
        FinderFailed(call, finder.first);
        return false;
    }
    walk = {mode, handle};
    return true;
}

int Step(CallContext& call, const Family& family, QueryObject& query, void* result, uint32_t param3, char** collect) {
    const QueryWalk& walk = query.*family.walk;
    const Finder& finder = FinderOf(family, walk.mode);
    if (finder.step(walk.handle, RecordOf(family, result), param3, collect) != 0) return 1;
    FinderFailed(call, finder.next);
    return 0;
}

// Ends the family's walk; the family is idle afterwards whatever the finder says.
int End(CallContext& call, const Family& family, QueryObject& query) {
    QueryWalk& walk = query.*family.walk;
    const Finder& finder = FinderOf(family, walk.mode);
    const int result = finder.end(walk.handle);
    if (result == 0) FinderFailed(call, finder.close);
    walk = {};
    return result;
}

// The path field of a job walk's entry: the query's folder, and for a folder entry a "\" (none
// after a folder of exactly "\") and the folder's name. False when that would not fit.
bool FillPath(QVAPI_QJOB& result, const char* folder) {
    std::memset(result.szPath, 0, sizeof result.szPath);
    std::string path = folder;
    if (result.Job.dwKind == QVAPI_JOB_KIND_FOLDER) {
        if (path != "\\") path += '\\';
        path.append(result.Job.szJobName, strnlen(result.Job.szJobName, sizeof result.Job.szJobName));
    }
    if (path.size() >= sizeof result.szPath) return false;
    std::memcpy(result.szPath, path.data(), path.size());
    return true;
}

bool PathFilled(CallContext& call, QVAPI_QJOB& result, const QueryObject& query) {
    if (FillPath(result, query.folder)) return true;
    call.Failed(QVAPI_ERR_PATH_TOO_LONG, kPathTooLong, call.function(), query.folder);
    return false;
}

uint32_t JobMode(const QueryObject& query) {
    // The site job tree has no plain job walk: its client ID job walk lists plain jobs too.
    if (query.site != 0) return 3;
    return query.idJobOption == 1 ? 1 : 2;
}

uint32_t DetailMode(const QueryObject& query) {
    if (query.idJobOption == 1 && IsIdJobNumber(query.jobNumber)) return query.site != 0 ? 3 : 1;
    return 2;
}

uint32_t NodeMode(const QueryObject& query) {
    if ((query.idJobOption != 1 && query.idJobOption != 2) || !IsIdJobNumber(query.jobNumber)) return 3;
    if (query.id[0] != '\0') return query.site != 0 ? 4 : 1;
    return query.site != 0 ? 5 : 2;
}

// Reads the head of the query's job into a fresh job head buffer (a running detail walk's one is
// released first). 0, or the code.
uint32_t ReadJobHead(CallContext& call, QueryObject& query) {
    DropJobHead(query);
    if (query.site != 0) return 0;
    query.jobHead = static_cast<unsigned char*>(qvpAPIAlloc(kJobHeadSize));
    if (query.jobHead == nullptr) return QVAPI_ERR_RESOURCE;
    std::string jobPath;
    if (!JobPathOf(call, query.folder, query.jobNumber, jobPath)) return QVAPI_ERR_INVALID_PARAMETER;
    if (qvAPIGetJob(&call.block(), jobPath.c_str(), query.jobHead) == 0) return qvAPIGetLastError();
    return 0;
}

void CopyJobHead(CallContext& call, const QueryObject& query, QVAPI_QDETAIL_JOB& result) {
    if (query.jobHead != nullptr) qvpAPICopyJobData(call.block().apiLevel, query.jobHead, &result.Job, 0);
}

// The node families share everything but their finders and names.
QVPAPI_HANDLE FirstNode(const Family& family, const char* name, QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* result) {
    const FrameTexts texts{name, EndStyle::Hex, nullptr, nullptr, kLogicalError};
    return RunApi(texts, QVPAPI_INVALID_HANDLE, [&](CallContext& call) -> QVPAPI_HANDLE {
        QueryObject* query = Checked(call, family, hQuery, result, family.firstHandleText);
        if (query == nullptr || !Start(call, family, *query, NodeMode(*query), result, 0, nullptr))
            return QVPAPI_INVALID_HANDLE;
        return hQuery;
    });
}

int NextNode(const Family& family, const char* name, QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* result) {
    const FrameTexts texts{name, EndStyle::Decimal, nullptr, "", kLogicalError};
    return RunApi(texts, 0, [&](CallContext& call) {
        QueryObject* query = Checked(call, family, hQuery, result, kStepHandleInvalid);
        return query == nullptr ? 0 : Step(call, family, *query, result, 0, nullptr);
    });
}

int CloseWalk(const Family& family, const char* name, QVPAPI_HANDLE hQuery) {
    const FrameTexts texts{name, EndStyle::Hex, nullptr, nullptr, kLogicalError};
    return RunApi(texts, 0, [&](CallContext& call) {
        QueryObject* query = LiveQuery(call, hQuery, kStepHandleInvalid);
        if (query == nullptr) return 0;
        const int result = End(call, family, *query);
        if (&family == &kDetailFamily) DropJobHead(*query);
        return result;
    });
}

}  // namespace

}  // namespace qvp::jobs

using namespace qvp::jobs;

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstJob(QVPAPI_HANDLE hQuery, QVAPI_QJOB* lpResultQJob,
                                                             uint32_t, uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIAbstractFirstJob", qvp::EndStyle::Hex, nullptr, nullptr, kLogicalError};
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        QueryObject* query = Checked(call, kJobFamily, hQuery, lpResultQJob, kHandleInvalid);
        if (query == nullptr) return QVPAPI_INVALID_HANDLE;
        std::memset(lpResultQJob, 0, kQueryResultHead);
        if (!Start(call, kJobFamily, *query, JobMode(*query), lpResultQJob, 0, nullptr)) return QVPAPI_INVALID_HANDLE;
        if (!PathFilled(call, *lpResultQJob, *query)) {
            const uint32_t code = call.code();
            End(call, kJobFamily, *query);
            call.Fail(code);
            return QVPAPI_INVALID_HANDLE;
        }
        return hQuery;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextJob(QVPAPI_HANDLE hQuery, QVAPI_QJOB* lpResultQJob, uint32_t,
                                                  uint32_t) {
    static const qvp::FrameTexts texts{"qvAPIAbstractNextJob", qvp::EndStyle::Decimal, "", "", kLogicalError};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        QueryObject* query = Checked(call, kJobFamily, hQuery, lpResultQJob, kStepHandleInvalid);
        if (query == nullptr) return 0;
        std::memset(lpResultQJob, 0, kQueryResultHead);
        if (Step(call, kJobFamily, *query, lpResultQJob, 0, nullptr) == 0) return 0;
        return PathFilled(call, *lpResultQJob, *query) ? 1 : 0;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseJob(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return CloseWalk(kJobFamily, "qvAPIAbstractCloseJob", hQuery);
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstDetailJob(QVPAPI_HANDLE hQuery,
                                                                   QVAPI_QDETAIL_JOB* lpResultQDetailJob,
                                                                   uint32_t dwParam3, char** lpCollectPath) {
    static const qvp::FrameTexts texts{"qvAPIAbstractFirstDetailJob", qvp::EndStyle::Hex, nullptr, nullptr,
                                       kLogicalError};
    return qvp::RunApi(texts, QVPAPI_INVALID_HANDLE, [&](qvp::CallContext& call) -> QVPAPI_HANDLE {
        QueryObject* query = Checked(call, kDetailFamily, hQuery, lpResultQDetailJob, kHandleInvalid);
        if (query == nullptr) return QVPAPI_INVALID_HANDLE;
        if (const uint32_t code = ReadJobHead(call, *query)) {
            call.Fail(code);
        } else if (Start(call, kDetailFamily, *query, DetailMode(*query), lpResultQDetailJob, dwParam3,
                         lpCollectPath)) {
            CopyJobHead(call, *query, *lpResultQDetailJob);
            return hQuery;
        }
        query->detail = {};
        DropJobHead(*query);
        return QVPAPI_INVALID_HANDLE;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextDetailJob(QVPAPI_HANDLE hQuery, QVAPI_QDETAIL_JOB* lpResultQDetailJob,
                                                        uint32_t dwParam3, char** lpCollectPath) {
    static const qvp::FrameTexts texts{"qvAPIAbstractNextDetailJob", qvp::EndStyle::Decimal, "", "", kLogicalError};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        QueryObject* query = Checked(call, kDetailFamily, hQuery, lpResultQDetailJob, kStepHandleInvalid);
        if (query == nullptr || Step(call, kDetailFamily, *query, lpResultQDetailJob, dwParam3, lpCollectPath) == 0)
            return 0;
        CopyJobHead(call, *query, *lpResultQDetailJob);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseDetailJob(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return CloseWalk(kDetailFamily, "qvAPIAbstractCloseDetailJob", hQuery);
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstNodeJob(QVPAPI_HANDLE hQuery,
                                                                 QVAPI_QNODE_JOB* lpResultQNodeJob, uint32_t,
                                                                 uint32_t) {
    return FirstNode(kNodeFamily, "qvAPIAbstractFirstNodeJob", hQuery, lpResultQNodeJob);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextNodeJob(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                                      uint32_t, uint32_t) {
    return NextNode(kNodeFamily, "qvAPIAbstractNextNodeJob", hQuery, lpResultQNodeJob);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseNodeJob(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return CloseWalk(kNodeFamily, "qvAPIAbstractCloseNodeJob", hQuery);
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIAbstractFirstNodeJobEx(QVPAPI_HANDLE hQuery,
                                                                   QVAPI_QNODE_JOB* lpResultQNodeJob, uint32_t,
                                                                   uint32_t) {
    return FirstNode(kNodeExFamily, "qvAPIAbstractFirstNodeJobEx", hQuery, lpResultQNodeJob);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractNextNodeJobEx(QVPAPI_HANDLE hQuery, QVAPI_QNODE_JOB* lpResultQNodeJob,
                                                        uint32_t, uint32_t) {
    return NextNode(kNodeExFamily, "qvAPIAbstractNextNodeJobEx", hQuery, lpResultQNodeJob);
}

extern "C" QVPAPI_EXPORT int qvAPIAbstractCloseNodeJobEx(QVPAPI_HANDLE hQuery, uint32_t, uint32_t) {
    return CloseWalk(kNodeExFamily, "qvAPIAbstractCloseNodeJobEx", hQuery);
}

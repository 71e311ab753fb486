// ID changes that other systems must follow travel as jobs: a JobGen opened for the purpose,
// ID-operate entries in its IDGROUP work folder, the target masters, commit, job creation and
// execution. None of these is exported; the ID-group editing, the system operations and the
// automatic registration call them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/frame.h"
#include "qvpapi.h"

namespace qvp::jobgen {
struct JobGenEdit;
}

namespace qvp::ids {

inline constexpr char kEditIdFolder[] = "Edit_ID_group";
inline constexpr char kEditSystemFolder[] = "Edit_System_Conf";
inline constexpr uint32_t kAfterDelete = 2;  // JOBGEN_DELETE

// How often and how far apart a pending creation (0x200000EA) is asked again.
struct RetryBound {
    int tries = 100;
    uint32_t pauseMs = 100;
};
void SetCreateRetryBound(RetryBound bound);

// "\<folder>\<sub>" for kind 'L' (or whenever sub is given), else "\<folder>".
std::string OperateFolderPath(const char* folder, const char* sub, bool withSub);

// Opens the JobGen; *phJobGen receives the handle (-1 on failure).
int qvpAPImakeCreateJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpFolder, const char* lpSubFolder,
                             const char* lpJobGenName, char ucJobKind, uint32_t dwReserved1, uint32_t dwReserved2);
// Writes the ID-operate entries (E, F, G, R, W); lpNodeName a NULL-ended list for E and R.
int qvAPICreateIDOperateJobGen(QVPAPI_HANDLE hJobGen, char ucRequest, const char* lpID, const char* lpPassword,
                               const char* const* lpNodeName, uint32_t dwReserved1, uint32_t dwReserved2);
// Adds the masters of a NULL-ended list as targets of an 'F' or 'G' JobGen.
int qvpAPImakeNodeListJobGenEx(QVPAPI_HANDLE* phJobGen, const char* const* lpNodeList, char ucRequest,
                               size_t nIDLength, const char* lpID);
// Adds every master of the ID as a target.
int qvpAPImakeIDGroupNodeJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpID, uint32_t dwReserved1,
                                  uint32_t dwReserved2);
// Commits, creates and executes the job; deletes JobGen and job again when a step after the
// attempt fails.
int qvpAPImakeCloseJobGenEx(QVPAPI_HANDLE* phJobGen, const char* lpFolder, const char* lpSubFolder,
                            const char* lpJobGenName, uint32_t fdwAfterProcOption, QVAPI_JOB* lpJob, char ucRequest,
                            uint32_t dwReserved);

// Adds a master (by its definition) as a job target of the open JobGen: by host ID when
// `byHostId` (with qvAPICreateMasterJobGen, or the manager add when `managerUnlessMaster` and
// the definition lacks the master bit), else "\<key>\<key>" under its path, keyed by
// `keyKind` (0 name, 1 address). `idLength` > 0 checks the lengths of the list operation.
// 0 or the code; the failure is logged under the caller's name.
uint32_t AddMasterTarget(CallContext& call, QVPAPI_HANDLE hJobGen, const QVAPI_NODE& definition, bool byHostId,
                         bool managerUnlessMaster, uint8_t keyKind, size_t idLength, const char* listName);

// Writes one entry file of the IDGROUP work folder (create-new) and counts it; on failure the
// code is set (0x200000B7 when the file exists, else 0x20100000).
bool WriteOperateEntry(CallContext& call, const std::string& file, const QVAPI_IDOPERATE& entry,
                       jobgen::JobGenEdit& edit, std::vector<std::string>& written);
// Removes the files a failed call wrote, lowering the count for each.
void TakeBack(jobgen::JobGenEdit& edit, const std::vector<std::string>& written);

// Discards the JobGen of *handle when one is open; *handle becomes -1.
void DiscardJobGen(QVPAPI_HANDLE* handle);

// A name that becomes part of an entry file's name: no separator, no "..".
bool FileNamePartOk(const char* name);

// System operations: the "Delete_Host" job of a master for a client.
int qvAPICreateSystemOperateJobGen(QVPAPI_HANDLE hJobGen, char ucRequest, const char* lpNodeName,
                                   const char* const* lpClientName, uint32_t dwReserved1, uint32_t dwReserved2);
int qvpAPIOperateSystemNode(const char* lpNodeName, const char* lpClientName, uint32_t dwOption,
                            uint32_t dwReserved);

// A node's member entries follow it: mode 16 removes them from every ID (the node is gone),
// mode 33 renames them to lpNewName. lpSearchName, when given, is the name looked for.
int qvAPIOperateIDEntry(const char* lpNodeName, const char* lpSearchName, const char* lpNewName,
                        uint32_t dwReserved1, uint32_t fdProcMode, uint32_t dwReserved2, uint32_t dwReserved3);

}  // namespace qvp::ids

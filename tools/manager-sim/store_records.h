// The manager's record stores (M cabinets, A package attributes, E executions, S status) as
// ordered maps, with one cursor per kind and connection: a cursor remembers the last key it
// returned and its next record is the first key after it, so deletions during a walk lose
// nothing. Registers FGET, FUPD, FDEL, FRLS, GPUT, GUPD, GDEL, HDEL, RDEL, the package verbs
// and fixed replies for JPUT, JSCH, JEXC and JDEL.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "manager-sim/sim.h"
#include "qvpapi.h"

namespace qvpsim {

class RecordStore;
// The package verbs (RPUT, RGET, in verbs_packages.cpp), which add to the record store.
void InstallPackageStoreVerbs(ManagerSim& sim, RecordStore& store);

class RecordStore {
public:
    explicit RecordStore(ManagerSim& sim);

    // ---- control API (records as the manager keeps them: integers big-endian)
    // A cabinet record and its header record in the attribution store.
    void AddCabinet(char qvCode, std::string_view id, std::string_view name);
    // The record under its package key, its attribution file and, when given, its package and
    // script resource files (named from the record's resource name).
    void AddPackage(const QVAPI_PACKAGE& record, std::string_view packageBytes = {},
                    std::optional<std::string_view> scriptBytes = std::nullopt);
    // The record under its package key and its attribution file, nothing else.
    void PutAttribution(const QVAPI_PACKAGE& record);
    // The resource folder the manager fills (ResourcePathName's default under the root).
    std::string ResourceFolder() const;
    // Copies a file (a path as the library names it) into the resource folder; false when it
    // cannot be read or written.
    bool CopyResource(const std::string& from, const std::string& name);
    // The package list of a resource name for RGET: the bytes of each chunk's .LIST file.
    void SetPackageList(std::string_view resourceName, std::vector<std::string> chunks);
    std::optional<std::vector<std::string>> PackageList(std::string_view resourceName) const;
    // Writes <root>/<folder>/<name>, making the folders.
    void WriteUnderRoot(const std::string& folder, const std::string& name, std::string_view bytes);
    // A status record of `node` (escaped), keyed by the node padded to 64 and the package key.
    void AddStatus(std::string_view node, std::string_view record);
    // An execution record keyed by the dotted node name and the job number.
    void AddExecution(std::string_view node, std::string_view jobNumber, std::string_view record);
    // Removes every execution record of a job number.
    void RemoveExecutions(std::string_view jobNumber);
    // The node's inventory record, kept by the simulator's inventory store.
    void SetInventory(std::string_view node, std::string_view record);
    // The job number the next JPUT or JSCH reply carries (a counter when unset).
    void SetNextJobNumber(std::string_view number);

    // The reply to a JPUT or JSCH: "0 0 1 n<len> <job number>".
    std::string JobNumberReply();

    std::vector<std::string> Keys(char kind) const;
    std::optional<std::string> Record(char kind, const std::string& key) const;

    // Key forms shared with the tests.
    static std::string StatusKey(std::string_view node, std::string_view record);
    static std::string PackageKey(const QVAPI_PACKAGE& record);

private:
    struct Cursor {
        std::string prefix;   // keys that start with it
        bool below = false;   // executions ".*": the entry and every name below it
        std::string path;     // with `below`: the entry's dotted name
        std::string number;   // with `below`: the job number
        std::string last;
        bool started = false;
    };

    std::map<std::string, std::string>& Store(char kind);
    bool Matches(const Cursor& cursor, const std::string& key) const;
    std::string Fget(Call& call);
    std::string NextReply(std::map<std::string, std::string>& store, Cursor& cursor, bool positioning);
    std::string Fupd(Call& call);
    std::string Fdel(Call& call);
    std::string Cabinet(Call& call, bool create);
    std::string CabinetDelete(Call& call);
    std::string Rdel(Call& call);
    void WriteFile(const std::string& directory, const std::string& name, std::string_view bytes);
    std::string MngflPath(std::string_view area) const;

    ManagerSim& sim_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> stores_[4];  // M, A, E, S
    std::map<std::string, std::vector<std::string>, std::less<>> packageLists_;
    std::string nextJobNumber_;
    unsigned jobCounter_ = 0;
};

}  // namespace qvpsim

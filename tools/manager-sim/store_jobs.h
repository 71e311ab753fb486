// The manager's job side: the job execution files it writes (jobexecfile, the jobexecpath index,
// site jobs) and the execution records it keeps for their entries in the record store's E
// kind, plus the re-execution requests it was sent. Each entry's job number is the 16 hex
// digits of its record's 8-byte job id; a node name longer than the record's 64-byte field
// travels as the record's first item, of type 17.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "manager-sim/sim.h"
#include "manager-sim/store_records.h"
#include "platform/win.h"

namespace qvpsim {

// The three status bytes of an execution record (offsets 88, 89, 90).
using ExecStatus = std::array<uint8_t, 3>;

// One node entry of a job and the record the manager keeps for it.
struct JobNode {
    std::string name;                // dotted node name
    ExecStatus status{0x10, 0, 0};   // waiting to run
    bool hasRecord = true;           // false: the manager answers "16 16" for it
    std::string secondName;          // the host name of a host-ID node ("#G..." names)
    uint8_t kind = 'D';              // record byte 8
    uint8_t flags = 0;               // record byte 6
    std::string number;              // the entry's own job number; empty: the job's
    // An ID entry ("<path>.%<ID>") reaches member clients: each gets a record of its own,
    // "<path>.<client>" under the entry's number (`name` holds the client alone).
    std::vector<JobNode> members;
};

// "<path>.<client>" of an ID entry's member ("<client>" for an entry without a path).
std::string MemberName(std::string_view entryName, std::string_view client);

inline JobNode Node(std::string name, ExecStatus status, bool hasRecord = true) {
    JobNode node;
    node.name = std::move(name);
    node.status = status;
    node.hasRecord = hasRecord;
    return node;
}

struct JobSpec {
    std::string path;                // "\<folder>...\<number>" below JOBEXEC or SITEJOB
    std::string number;              // 16 hex digits
    std::string name = "job";
    std::string dateTime = "20240102030405";
    // The counts the head carries, in counter order: statuses 0 to 5, 255, 6, 7, 8.
    std::array<uint32_t, 10> storedCounts{};
    std::vector<JobNode> nodes;
};

// Where the manager keeps an execution record: the dotted node name, then the job number. The
// name part is compared without its trailing blanks, so that a key built from a record's
// blank-padded 64-byte name field finds it.
std::string ExecutionKey(std::string_view key);

class JobStore {
public:
    JobStore(ManagerSim& sim, RecordStore& records);

    // ---- fixtures
    // jobexecfile under JOBEXEC, its QVFOLDER\<number>\jobexecpath, and the entries' records.
    void WriteJob(const JobSpec& job);
    // The same job under SITEJOB (site jobs have no index).
    void WriteSiteJob(const JobSpec& job);
    void AddRecord(const JobNode& node, std::string_view number);
    // The status bytes of a record; false when there is no such record.
    bool SetStatus(std::string_view node, std::string_view number, ExecStatus status);
    std::optional<ExecStatus> Status(std::string_view node, std::string_view number) const;

    // ---- files and bytes, as the manager writes them
    std::string JobExecDir() const;  // POSIX path of MNGFL/JOBEXEC
    std::string SiteJobDir() const;
    static std::string JobFilePath(const std::string& dir, std::string_view jobPath);
    static std::string JobExecFileBytes(const JobSpec& job);
    // Bytes 0-1 carry the record's length unless `lead` gives them another value (the record has
    // no length field: readers take the length the reply's item carries).
    static std::string ExecutionRecord(const JobNode& node, std::string_view number,
                                       std::optional<uint16_t> lead = std::nullopt);
    // What bytes 0-1 of every record made from now on hold (nullopt: the record's length).
    void SetRecordLead(std::optional<uint16_t> lead);

    // A file held open without sharing through the platform layer, as the manager holds a job
    // file it rewrites; released when it goes.
    class Hold {
    public:
        explicit Hold(win::HANDLE handle) : handle_(handle) {}
        Hold(Hold&& other) noexcept : handle_(std::exchange(other.handle_, win::INVALID_HANDLE_VALUE)) {}
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();
        bool held() const { return handle_ != win::INVALID_HANDLE_VALUE; }

    private:
        win::HANDLE handle_;
    };
    static Hold HoldExclusive(const std::string& path);

    // ---- what the verbs were sent
    struct Reexec {
        std::string first;   // the d field
        std::string second;  // the g field
    };
    std::vector<Reexec> Reexecs() const;
    // Each JSCH: its JobGen path and the stored jobgenfile as it was while the request was
    // handled (empty when there was none).
    struct Scheduled {
        std::string jobGenPath;
        std::string jobGenFile;
    };
    std::vector<Scheduled> Schedules() const;
    // Each JPUT the same way.
    std::vector<Scheduled> Puts() const;
    // The next `rounds` JPUT or JSCH requests register their job but answer "0 2" (more to
    // come) with its number.
    void SetPendingRounds(int rounds);
    // The jobs registered and not deleted.
    std::vector<JobSpec> Jobs() const;

private:
    // The store's state: the files written and the requests received.
    struct State {
        std::vector<JobSpec> jobs;
        std::vector<JobSpec> siteJobs;
        std::vector<Reexec> reexecs;
        std::vector<Scheduled> schedules;
        std::vector<Scheduled> puts;
        int pendingRounds = 0;
        std::optional<uint16_t> recordLead;
    };

    // The job engine: JPUT and JSCH register the stored JobGen as a job (files and records
    // written before the reply); JEXC, JRTY and JDEL act on a registered job.
    std::string Put(Call& call, bool scheduled);
    std::string Control(Call& call);
    std::string Delete(Call& call);
    bool Registered(std::string_view jobPath) const;

    void WriteFiles(const std::string& dir, const JobSpec& job, bool index);

    ManagerSim& sim_;
    RecordStore& records_;
    mutable std::mutex mutex_;
    State state_;
};

}  // namespace qvpsim

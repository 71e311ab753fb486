// Verbs of jobs (job hand-over and control, the execution store) and the job store's fixtures.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"

namespace qvpsim {

void ManagerSim::InstallJobVerbs() {}

namespace {

constexpr size_t kNumberWidth = 16;
constexpr size_t kHeadSize = 336;
constexpr size_t kNameField = 16;
constexpr size_t kNameFieldWidth = 64;
constexpr size_t kJobId = 80;
constexpr size_t kStatus = 88;
constexpr size_t kItemCount = 948;
constexpr size_t kItems = 952;
constexpr uint8_t kLongNameItem = 17;
constexpr uint8_t kHostNameItem = 19;
constexpr uint32_t kJobKind = 4;
// Counter offsets of the head, in the order of JobSpec::storedCounts.
constexpr size_t kHeadCounters[10] = {112, 116, 120, 124, 128, 132, 136, 144, 220, 224};

void Put32(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}
void Append32(std::string& bytes, uint32_t value) {
    bytes.resize(bytes.size() + 4);
    Put32(bytes, bytes.size() - 4, value);
}
void Put16Be(std::string& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<char>(value >> 8);
    bytes[offset + 1] = static_cast<char>(value);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

// A host ID's name has "#G", "#U" or "#C" wherever its '#' stands ("M1.#G0001").
bool IsHostId(std::string_view name) {
    const size_t hash = name.find('#');
    return hash != std::string_view::npos && hash + 1 < name.size() &&
           (name[hash + 1] == 'G' || name[hash + 1] == 'U' || name[hash + 1] == 'C');
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

std::string ExecutionKey(std::string_view key) {
    if (key.size() <= kNumberWidth) return std::string(key);
    std::string_view name = key.substr(0, key.size() - kNumberWidth);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return std::string(name) + std::string(key.substr(key.size() - kNumberWidth));
}

JobStore::JobStore(ManagerSim& sim, RecordStore& records) : sim_(sim), records_(records) {
    // "DEXC 4 f1  d<len> <first> g<len> <second> w1 0": recorded and accepted.
    sim.Handle("DEXC", [this](Call& call) {
        std::lock_guard lock(mutex_);
        state_.reexecs.push_back({std::string(call.request.Value(1)), std::string(call.request.Value(2))});
        return std::string(kReplyOk);
    });
    // "JPUT 2 j<len> <JobGen path> n16 <number>" and "JSCH 3 ... s224 <schedule>": the manager
    // reads the JobGen while it handles the request; the copy shows what it saw.
    sim.Handle("JPUT", [this](Call& call) { return Put(call, false); });
    sim.Handle("JSCH", [this](Call& call) { return Put(call, true); });
    sim.Handle("JEXC", [this](Call& call) { return Control(call); });
    sim.Handle("JRTY", [this](Call& call) { return Control(call); });
    sim.Handle("JDEL", [this](Call& call) { return Delete(call); });
}

JobStore::Hold::~Hold() {
    if (held()) win::CloseHandle(handle_);
}

std::string JobStore::JobExecDir() const { return sim_.root() + "/SERVER/ZARNQV/MNGFL/JOBEXEC"; }
std::string JobStore::SiteJobDir() const { return sim_.root() + "/SERVER/ZARNQV/MNGFL/SITEJOB"; }

std::string JobStore::JobFilePath(const std::string& dir, std::string_view jobPath) {
    std::string path = dir;
    for (char c : jobPath) path += c == '\\' ? '/' : c;
    return path + "/jobexecfile";
}

std::string JobStore::ExecutionRecord(const JobNode& node, std::string_view number, std::optional<uint16_t> lead) {
    const bool longName = node.name.size() > kNameFieldWidth;
    std::string record(kItems, '\0');
    record[6] = static_cast<char>(node.flags);
    record[8] = static_cast<char>(node.kind);
    if (!longName) {
        std::string field = node.name;
        field.resize(kNameFieldWidth, ' ');
        std::memcpy(record.data() + kNameField, field.data(), field.size());
    }
    for (size_t i = 0; i < 8 && 2 * i + 1 < number.size(); ++i)
        record[kJobId + i] = static_cast<char>(HexDigit(number[2 * i]) << 4 | HexDigit(number[2 * i + 1]));
    for (size_t i = 0; i < 3; ++i) record[kStatus + i] = static_cast<char>(node.status[i]);
    // Items: the long name, and the host name of a host-ID node.
    uint16_t items = 0;
    const auto addItem = [&](uint8_t type, const std::string& text) {
        record += static_cast<char>(type);
        record += '\0';
        record.resize(record.size() + 2);
        Put16Be(record, record.size() - 2, static_cast<uint16_t>(text.size()));
        record += text;
        Put16Be(record, kItemCount, ++items);
    };
    if (longName) addItem(kLongNameItem, node.name);
    if (IsHostId(node.name) && !node.secondName.empty()) addItem(kHostNameItem, node.secondName);
    Put16Be(record, 0, lead.value_or(static_cast<uint16_t>(record.size())));
    return record;
}

std::string JobStore::JobExecFileBytes(const JobSpec& job) {
    std::string area;
    for (const JobNode& node : job.nodes) {
        std::string entry(84, '\0');
        std::string number = node.number.empty() ? job.number : node.number;
        number.resize(kNumberWidth, '0');
        std::memcpy(entry.data() + 4, number.data(), kNumberWidth);
        Append32(entry, static_cast<uint32_t>(node.name.size()));
        entry += node.name;
        if (IsHostId(node.name)) {
            Append32(entry, static_cast<uint32_t>(node.secondName.size()));
            entry += node.secondName;
        }
        Put32(entry, 0, static_cast<uint32_t>(entry.size()));
        area += entry;
    }
    std::string head(kHeadSize, '\0');
    Put32(head, 0, static_cast<uint32_t>(area.size()));
    std::memcpy(head.data() + 4, job.name.data(), std::min<size_t>(job.name.size(), 64));
    Put32(head, 76, kJobKind);
    std::memcpy(head.data() + 80, job.number.data(), std::min(job.number.size(), kNumberWidth));
    std::memcpy(head.data() + 98, job.dateTime.data(), std::min<size_t>(job.dateTime.size(), 14));
    uint32_t total = 0;
    for (size_t i = 0; i < job.storedCounts.size(); ++i) {
        Put32(head, kHeadCounters[i], job.storedCounts[i]);
        total += job.storedCounts[i];
    }
    Put32(head, 140, total);
    Put32(head, 152, static_cast<uint32_t>(job.nodes.size()));
    return head + area;
}

std::string MemberName(std::string_view entryName, std::string_view client) {
    const size_t dot = entryName.rfind('.');
    if (dot == std::string_view::npos) return std::string(client);
    return std::string(entryName.substr(0, dot + 1)) + std::string(client);
}

void JobStore::WriteFiles(const std::string& dir, const JobSpec& job, bool index) {
    WriteBytes(JobFilePath(dir, job.path), JobExecFileBytes(job));
    if (index) WriteBytes(dir + "/QVFOLDER/" + job.number + "/jobexecpath", job.path);
    for (const JobNode& node : job.nodes) {
        const std::string& number = node.number.empty() ? job.number : node.number;
        if (node.hasRecord) AddRecord(node, number);
        // The entry's member clients share its number.
        for (JobNode member : node.members) {
            member.name = MemberName(node.name, member.name);
            if (member.hasRecord) AddRecord(member, number);
        }
    }
}

void JobStore::WriteJob(const JobSpec& job) {
    WriteFiles(JobExecDir(), job, true);
    std::lock_guard lock(mutex_);
    state_.jobs.push_back(job);
}

void JobStore::WriteSiteJob(const JobSpec& job) {
    WriteFiles(SiteJobDir(), job, false);
    std::lock_guard lock(mutex_);
    state_.siteJobs.push_back(job);
}

void JobStore::AddRecord(const JobNode& node, std::string_view number) {
    std::optional<uint16_t> lead;
    {
        std::lock_guard lock(mutex_);
        lead = state_.recordLead;
    }
    records_.AddExecution(node.name, number, ExecutionRecord(node, number, lead));
}

void JobStore::SetRecordLead(std::optional<uint16_t> lead) {
    std::lock_guard lock(mutex_);
    state_.recordLead = lead;
}

bool JobStore::SetStatus(std::string_view node, std::string_view number, ExecStatus status) {
    const std::string key = std::string(node) + std::string(number);
    std::optional<std::string> record = records_.Record('E', key);
    if (!record || record->size() < kStatus + 3) return false;
    for (size_t i = 0; i < 3; ++i) (*record)[kStatus + i] = static_cast<char>(status[i]);
    records_.AddExecution(node, number, *record);
    return true;
}

std::optional<ExecStatus> JobStore::Status(std::string_view node, std::string_view number) const {
    const std::optional<std::string> record = records_.Record('E', std::string(node) + std::string(number));
    if (!record || record->size() < kStatus + 3) return std::nullopt;
    ExecStatus status{};
    for (size_t i = 0; i < 3; ++i) status[i] = static_cast<uint8_t>((*record)[kStatus + i]);
    return status;
}

JobStore::Hold JobStore::HoldExclusive(const std::string& path) {
    return Hold(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                                win::FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::vector<JobStore::Scheduled> JobStore::Schedules() const {
    std::lock_guard lock(mutex_);
    return state_.schedules;
}

namespace {

constexpr char kNoSuchJob[] = "16 21";
constexpr size_t kJobGenHeader = 256;
constexpr size_t kJobGenEntry = 1284;
constexpr size_t kEntryNode = 16;
constexpr size_t kEntryNodeWidth = 260;
constexpr size_t kIdKind = 73;

bool IsPlaceholder(std::string_view number) {
    return number == "0000000000000000" || number == "JS00000000000000";
}

std::string PosixUnder(const std::string& dir, std::string_view windowsPath) {
    std::string path = dir;
    for (char c : windowsPath) path += c == '\\' ? '/' : c;
    return path;
}

}  // namespace

std::string JobStore::Put(Call& call, bool scheduled) {
    Scheduled seen{std::string(call.request.Value(0)), {}};
    std::string number(call.request.Value(1));
    std::ifstream file(PosixUnder(sim_.root() + "/SERVER/ZARNQV/MNGFL/JOBGEN", seen.jobGenPath) + "/jobgenfile",
                       std::ios::binary);
    seen.jobGenFile.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const std::string jobGen = seen.jobGenFile;
    {
        std::lock_guard lock(mutex_);
        (scheduled ? state_.schedules : state_.puts).push_back(std::move(seen));
    }
    const std::string path(call.request.Value(0));
    const size_t cut = path.rfind('\\');
    if (jobGen.size() < kJobGenHeader || cut == std::string::npos) return kNoSuchJob;
    if (IsPlaceholder(number)) {
        const std::string reply = records_.JobNumberReply();
        number = reply.substr(reply.rfind(' ') + 1);
        if (jobGen[kIdKind] == 5) number.replace(0, 2, "IB");
    }
    JobSpec job;
    job.path = path.substr(0, cut) + "\\" + number;
    job.number = number;
    job.name = path.substr(cut + 1);
    for (size_t at = kJobGenHeader; at + kJobGenEntry <= jobGen.size(); at += kJobGenEntry) {
        const char* field = jobGen.data() + at + kEntryNode;
        const std::string name(field, strnlen(field, kEntryNodeWidth));
        if (!name.empty() && (job.nodes.empty() || job.nodes.back().name != name)) job.nodes.push_back(Node(name, {0x10, 0, 0}));
    }
    WriteFiles(JobExecDir(), job, true);
    std::lock_guard lock(mutex_);
    std::erase_if(state_.jobs, [&](const JobSpec& j) { return j.number == number; });
    state_.jobs.push_back(job);
    const bool more = state_.pendingRounds > 0;
    if (more) --state_.pendingRounds;
    return std::string(more ? "0 2" : "0 0") + " 1 n" + std::to_string(number.size()) + " " + number;
}

bool JobStore::Registered(std::string_view jobPath) const {
    std::lock_guard lock(mutex_);
    for (const JobSpec& job : state_.jobs)
        if (job.path == jobPath) return true;
    return false;
}

// "JEXC 2 n<len> <job path> f1  " and the JRTY forms: a registered job is accepted.
std::string JobStore::Control(Call& call) {
    return Registered(call.request.Value(0)) ? kReplyOk : kNoSuchJob;
}

// "JDEL 3 n<len> <job path> f.. s1 ": the job directory, its index and its records go before the
// reply; with s1 S the job is one of SITEJOB (no index). "JDEL 4" (one node command) and the
// ID-entry form are accepted for a registered job.
std::string JobStore::Delete(Call& call) {
    if (call.request.declaredCount == 2) return kReplyOk;
    const std::string path(call.request.Value(0));
    const bool site = call.request.declaredCount == 3 && call.request.Value(2) == "S";
    if (!site && !Registered(path)) return kNoSuchJob;
    if (call.request.declaredCount == 4) return kReplyOk;
    std::string number;
    {
        std::lock_guard lock(mutex_);
        std::vector<JobSpec>& jobs = site ? state_.siteJobs : state_.jobs;
        auto it = std::find_if(jobs.begin(), jobs.end(), [&](const JobSpec& j) { return j.path == path; });
        if (it == jobs.end()) return kNoSuchJob;
        number = it->number;
        jobs.erase(it);
    }
    std::error_code ignored;
    std::filesystem::remove_all(PosixUnder(site ? SiteJobDir() : JobExecDir(), path), ignored);
    if (!site) std::filesystem::remove_all(JobExecDir() + "/QVFOLDER/" + number, ignored);
    records_.RemoveExecutions(number);
    return kReplyOk;
}

std::vector<JobStore::Scheduled> JobStore::Puts() const {
    std::lock_guard lock(mutex_);
    return state_.puts;
}

void JobStore::SetPendingRounds(int rounds) {
    std::lock_guard lock(mutex_);
    state_.pendingRounds = rounds;
}

std::vector<JobSpec> JobStore::Jobs() const {
    std::lock_guard lock(mutex_);
    return state_.jobs;
}

std::vector<JobStore::Reexec> JobStore::Reexecs() const {
    std::lock_guard lock(mutex_);
    return state_.reexecs;
}

}  // namespace qvpsim

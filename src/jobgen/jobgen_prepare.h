// Job preparation: the re-creation that expands a jobgenfile's groups, IDs and node names into
// one entry per concrete node, the sort that groups those entries by node, and the seam through
// which the ID-group layer (above this one) answers the ID lookups.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/frame.h"
#include "jobgen/jobgen_file.h"
#include "nodes/synonym_index.h"
#include "qvpapi.h"

namespace qvp::jobgen {

// Entry types only the re-creation writes, and the resolved marker (byte 351, the last byte of
// the package-key field, which an address-bearing entry never fills).
constexpr uint32_t kTypeResolvedClient = 0x80000001u;
constexpr uint32_t kTypeResolvedMaster = 0x80000002u;
constexpr size_t kResolvedMarker = 351;
// Passes of one re-creation: each pass resolves one level of nested groups, and a group path of
// at most 259 characters has fewer levels than this.
constexpr uint32_t kMaxPasses = 130;
constexpr size_t kMaxGroupPath = 259;

// Log texts both steps write under their own names.
inline constexpr char kTableNullText[] = "%s : Logical Error : ReCreate Control Table Pointer is NULL";
inline constexpr char kNodeNotFoundText[] = "%s : Logical Error : Node Not Found For CreateJob";

// ---- the ID lookups --------------------------------------------------------------------------

// One ID client or ID master as the ID finders describe it.
struct IdMember {
    std::string name;            // host name (or address text, or host ID)
    uint32_t attributes = 0;     // 0, 1 client, 2 master
    uint8_t address[4] = {};     // IPv4 octets
    uint8_t attributeWord = 0;   // bits 0x01 and 0x02 filter members out
    bool hostIdFlag = false;
    std::string hostId;
};

struct IdFinders {
    // 0 when the ID exists (its attribute byte into `attributeWord`), else the finder's code.
    uint32_t (*findGroup)(QVPAPI& block, const char* groupPath, const char* id, uint8_t& attributeWord);
    // The ID's clients or masters in walk order. 0 when the walk ran to its end; otherwise the
    // code that ended it, `started` telling whether the walk began at all.
    uint32_t (*members)(QVPAPI& block, const char* groupPath, const char* id, bool masters,
                        std::vector<IdMember>& out, bool& started);
};
// Installed by the ID-group layer when it is loaded; until then the lookups answer from the
// NODEGROUP\I.<ID> folders: an ID exists while its folder does, and its nodegroupfile lists its
// clients (kind 1) and masters (kind 2).
void SetIdFinders(const IdFinders& finders);
const IdFinders& GetIdFinders();

// ---- one pass of the re-creation -------------------------------------------------------------

// Definitions read during one re-creation: a group named once per package of the JobGen is
// expanded that many times, and each of its members is read from the store only once; the
// index reads each hash's synonym files once for all the names on that hash.
struct DefinitionCache {
    struct Read {
        uint32_t code;
        QVAPI_NODE record;
    };
    std::unordered_map<std::string, Read> reads;  // "C"/"M" + name
    nodes::SynonymIndex index;
};

struct Pass {
    ReCreateControlTable& table;
    DefinitionCache& cache;
    std::vector<JobGenEntry> out;
    std::vector<uint8_t> resolved;  // per written entry: its addresses are final
};

// The stored client or master definition of `name`, whole: 0 or the reader's code
// (0x20610000 when there is none).
uint32_t ReadDefinition(CallContext& call, Pass& pass, const char* function, const std::string& name, bool master,
                        QVAPI_NODE& out);

// Whether an entry of this job kind carries the resolved marker: kinds L and O lay ID-operation
// texts over byte 351, so theirs is kept beside the entry instead.
inline bool MarkerInEntry(char jobKind) { return jobKind != 'L' && jobKind != 'O'; }
inline bool EntryResolved(const JobGenEntry& entry) {
    return MarkerInEntry(entry.jobKind) && reinterpret_cast<const uint8_t*>(&entry)[kResolvedMarker] == 1;
}
// Appends a resolved entry of `type` with the two addresses (converted to their dotted form).
void WriteResolved(Pass& pass, const JobGenEntry& from, const std::string& first, const std::string& second,
                   uint32_t type);
// Appends an entry as it is.
void WriteAsIs(Pass& pass, const JobGenEntry& entry, bool resolved);
// "\" + base + "\" when the base is longer than "\": the head of an address. false when the base
// does not begin with "\".
bool AddressBase(std::string_view base, std::string& out);
// The dotted IPv4 text of four octets.
std::string DottedAddress(const uint8_t* octets);

// The ID expanders (jobgen_idexpand.cpp). `mode` 1: ID clients, else ID masters.
uint32_t ReCreateIdGroupEntry(CallContext& call, Pass& pass, const JobGenEntry& entry, int mode);
uint32_t ReCreateIdEntry(CallContext& call, Pass& pass, const JobGenEntry& entry);

// ---- the stored file ---------------------------------------------------------------------------

// What the to file is to be laid over: the source's bytes when both name one file, else what the
// to file holds now (nothing when it does not exist).
std::vector<uint8_t> TargetImage(CallContext& call, const char* from, const char* to, std::vector<uint8_t>&& source);
// Reads a jobgenfile whole (unshared). 0, 0x20000002 (missing) or 0x20100000, logged under
// the call's function.
uint32_t ReadPrepared(CallContext& call, const char* path, std::vector<uint8_t>& bytes);
// What both steps begin with: the from and to paths (0x2000054F for a NULL or empty one) and the
// table checked, logged under `function`; then the from file read whole and its header, its
// count checked against the size. 0 or the code. A header of job kind 0 leaves nothing to do.
uint32_t ReadStepInput(CallContext& call, const char* function, const ReCreateControlTable* table, const char* from,
                       const char* to, std::vector<uint8_t>& bytes, JobGenHeader& header);
// Writes `image` from the start of the file (opened unshared, created when absent, never
// truncated: bytes beyond the image stay). 0 or 0x20100000.
uint32_t WritePrepared(CallContext& call, const char* path, const std::vector<uint8_t>& image);
// Lays a header and entries over `image` from its start, growing it where they reach past it.
void Overlay(std::vector<uint8_t>& image, const JobGenHeader& header, const std::vector<JobGenEntry>& entries);

// ---- the steps (each in its own call frame, as job creation calls them) ---------------------

// Expands from-file into to-file (callers pass one path for both). 1, or 0 with the code.
int qvAPIReCreateJobGen(ReCreateControlTable* table, const char* from, const char* to);
// Groups the entries by node (and, for package kinds, by package). 1, or 0 with the code.
int qvAPISortEntryJobGen(ReCreateControlTable* table, const char* from, const char* to);
// Node name (offset 16) and, when `host` is given, host (1024) of a 1284-byte entry file, each
// into 261 bytes. 1, or -1 when the file cannot be opened or read whole.
int qvpAPINodeNamePathRead(const char* path, char* nodeName, char* host);

// The sort's bucket of a node name: the key derivation (0, or 0x20100000 for a '%' that opens no
// ID part) — exposed for the reference in the tests.
uint32_t BucketKey(std::string_view nodeName, bool byAddress, std::string& key);

}  // namespace qvp::jobgen

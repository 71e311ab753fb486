// What a caller of the library meets end to end: a fresh data root with its settings, the
// manager simulator with its record stores on loopback, a node store written by the builder,
// and what each caller thread needs (its nodes, group, cabinets, status records and a
// folder to pack), named apart so that several callers can share one root.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "manager-sim/sim.h"
#include "manager-sim/store_jobs.h"
#include "manager-sim/store_ids.h"
#include "manager-sim/store_inventory.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"

namespace qvpe2e {

namespace fs = std::filesystem;

// One caller's share of the data: every name starts with `prefix`, cabinets use `qvCode`.
struct CallerData {
    std::string prefix;
    char qvCode = 'C';
    // Alone on the root, the caller also walks the definitions from the top. Beside other
    // callers it leaves that walk out: readers open node files without sharing, so reading
    // another caller's node while that caller rewrites it is refused as busy by design.
    bool alone = true;

    std::string Master() const { return prefix + "boss"; }
    std::string Client() const { return prefix + "alpha"; }
    std::string Below() const { return prefix + "beta"; }   // a client below the master
    std::string Group() const { return "\\" + prefix + "G"; }
    std::string SubGroup() const { return prefix + "SUB"; }
    std::string Id() const { return prefix + "ID"; }
    std::string OldNode() const { return prefix + "old"; }
    std::string NewNode() const { return prefix + "new"; }
    // Its job: the number is the hex of the cabinet code, so that callers' jobs differ.
    std::string JobNumber() const {
        static constexpr char kHex[] = "0123456789ABCDEF";
        return std::string(14, '0') + kHex[(qvCode >> 4) & 0xF] + kHex[qvCode & 0xF];
    }
    std::string JobPath() const { return "\\" + prefix + "J\\" + JobNumber(); }
    // Its ID job, in a folder of its own: the ID under the entry path "<prefix>shop".
    std::string IdJobNumber() const { return "IB" + JobNumber().substr(2); }
    std::string IdJobFolder() const { return "\\" + prefix + "I"; }
    std::string Cabinet(int n) const { return std::string(1, qvCode) + "." + static_cast<char>('0' + n) + "A"; }
};

// A relative path in a tree and what stands there: "d" for a folder, "f" + bytes for a file.
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const fs::path& root);
std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

class CallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the caller's nodes (a master, a client beside it and one below it), its empty
    // group, two cabinets with packages, status records of its old node and a folder to pack.
    void Prepare(const CallerData& caller);
    // The whole story of one caller thread, from qvAPIOpen to the checks after qvAPIClose.
    void RunStory(const CallerData& caller);

    // Names of the definitions at the top of the node store, as the builder wrote them.
    std::set<std::string> TopNames() const;
    // The walk from the top: the names it gives, each checked against the builder's record
    // when its name starts with `prefix`.
    std::set<std::string> WalkTop(const std::string& prefix) const;
    std::string Port() const { return std::to_string(sim_->port()); }
    fs::path Data() const { return root_ / "data"; }
    fs::path PackFolder(const CallerData& caller) const { return root_ / (caller.prefix + "tree"); }
    // The connection whose requests name `word`.
    int ConnectionNaming(const std::string& word) const;

    // Work trees of a session's thread, as the writers leave them until close.
    void MakeWorkTrees(uint32_t threadId) const;
    void ExpectWorkTreesGone(uint32_t threadId) const;
    // Waits for the connection to close; its requests then end with the cursor releases and
    // "ATRM 0", byte for byte, each answered.
    void ExpectClosingSequence(int connection) const;
    // Waits for the connection to close; the payloads it received.
    std::vector<std::string> ReceivedUntilClosed(int connection) const;

    fs::path root_;
    std::unique_ptr<qvpsim::ManagerSim> sim_;
    std::unique_ptr<qvpsim::RecordStore> records_;
    std::unique_ptr<qvpsim::JobStore> jobs_;
    std::unique_ptr<qvptest::NodeStoreBuilder> store_;
    std::vector<std::string> topNames_;
    std::map<std::string, QVAPI_NODE> written_;  // builder records by node name

private:
    void StoryNodes(const CallerData& caller);
    void StoryGroup(const CallerData& caller);
    void StoryDefinitions(const CallerData& caller);
    void StoryIds(const CallerData& caller);
    void StoryForcedIds(const CallerData& caller);
    void StoryAutoRegister(const CallerData& caller);
    void StoryRecords(const CallerData& caller);
    void StoryStatusRename(const CallerData& caller);
    void StoryArchives(const CallerData& caller);
    void StoryJobGen(const CallerData& caller);
    void StorySharedStore(const CallerData& caller);
    void StorySoftReferAndRebuild(const CallerData& caller);
    void StoryCreateJob(const CallerData& caller);
    void StoryJobs(const CallerData& caller);
    void StoryJobWalk(const CallerData& caller);
    void StoryQueries(const CallerData& caller);
    void StoryQueryConstants();
    void StoryIdJobs(const CallerData& caller);
    void StoryClientIdJobs(const CallerData& caller);
    void StoryPackages(const CallerData& caller);
    void StoryInstalledPackages(const CallerData& caller);
    void StoryClose(const CallerData& caller, uint32_t threadId);
};

}  // namespace qvpe2e

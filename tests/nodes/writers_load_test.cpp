// The node writers under load: several processes with several threads, each thread with its own
// session against one simulator, create, rename and delete clients on a few shared names and
// add them to and remove them from one group. The successful calls must form a history in which
// no name is created or removed twice in a row, and the store they leave must be whole.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "manager-sim/sim.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"
#include "support/temp_root.h"

namespace qvptest {
namespace {

namespace fs = std::filesystem;

constexpr int kProcesses = 4;
constexpr int kThreads = 3;
constexpr int kCallsPerThread = 60;
const char* const kNames[] = {"c0", "c1", "c2", "c3", "c4"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];
constexpr char kGroup[] = "\\G1";

// One successful call's effect on one name, with the span of the call (a clock every process
// shares): the call took effect at some moment inside it.
struct Event {
    int64_t start, end;
    int name;
    bool made;  // the name came to exist (create, rename onto); else it went
};

struct SharedLog {
    std::atomic<uint32_t> used;
    Event events[kProcesses * kThreads * kCallsPerThread * 2];
};

int64_t Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void Note(SharedLog& log, int64_t start, int name, bool made) {
    const uint32_t at = log.used.fetch_add(1);
    if (at < std::size(log.events)) log.events[at] = Event{start, Now(), name, made};
}

QVAPI_NODE Named(QVAPI_NODE r, const char* name) {
    std::memset(r.ucNodeName, 0, sizeof r.ucNodeName);
    std::strcpy(r.ucNodeName, name);
    std::memset(&r.stUpdateTime, 0, sizeof r.stUpdateTime);  // stamped now: never refused as older
    return r;
}

void Caller(SharedLog& log, const QVAPI_NODE& base, const std::string& port, unsigned seed) {
    if (qvAPIOpen("127.0.0.1", port.c_str()) != 1) return;
    std::mt19937 random(seed);
    for (int call = 0; call < kCallsPerThread; ++call) {
        const int a = int(random() % kNameCount), b = int(random() % kNameCount);
        const char* name = kNames[a];
        const int64_t start = Now();
        switch (random() % 7) {
        case 0:
        case 1: {
            QVAPI_NODE r = Named(base, name);
            if (qvAPICreateClientDefinition(name, &r, 0) == 1) Note(log, start, a, true);
            break;
        }
        case 2: {
            QVAPI_NODE r = Named(base, kNames[b]);
            if (a != b && qvAPIChangeClientDefinition(name, QVAPI_CHANGE_NODE_NAME, &r, 0) == 1) {
                Note(log, start, a, false);
                Note(log, start, b, true);
            }
            break;
        }
        case 3:
            if (qvAPIDeleteClientDefinition(name, 0, nullptr) == 1) Note(log, start, a, false);
            break;
        case 4: {
            // Readers open definitions without sharing, as writers do: they meet the writers' files.
            QVAPI_NODE r{};
            qvAPIGetClientDefinitionByName(name, &r);
            break;
        }
        case 5: {
            QVAPI_NODE r{};
            QVPAPI_HANDLE walk = qvAPIFindFirstNode(kGroup, &r, 0, 0);
            if (walk != QVPAPI_INVALID_HANDLE) {
                while (qvAPIFindNextNode(walk, &r, 0, 0) == 1) {
                }
                qvAPIFindCloseNode(walk, 0, 0);
            }
            break;
        }
        default:
            if (random() % 2 == 0) qvAPICreateClient(kGroup, name, 0, 0);
            else qvAPIDeleteClient(kGroup, name, 0, 0);
            break;
        }
    }
    qvAPIClose();
}

// Two same-kind events of a name (made twice or gone twice) that no event of the other kind can
// have come between; also a name gone before anything could have made it.
std::string BrokenHistory(const std::vector<Event>& events) {
    for (const Event& first : events) {
        bool madeBefore = false;
        for (const Event& e : events) madeBefore |= e.name == first.name && e.made && e.start < first.end;
        if (!first.made && !madeBefore) return std::string(kNames[first.name]) + " went before it was made";
        for (const Event& second : events) {
            if (second.name != first.name || second.made != first.made || first.end >= second.start) continue;
            bool between = false;
            for (const Event& e : events)
                between |= e.name == first.name && e.made != first.made && e.end > first.start && e.start < second.end;
            if (!between) return std::string(kNames[first.name]) + (first.made ? " made" : " gone") + " twice in a row";
        }
    }
    return {};
}

class WritersLoad : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeTempRoot("qvp-load-");
        WriteRootSettings(root_, "ConnectRetryCount=1\n");
        sim_ = std::make_unique<qvpsim::ManagerSim>((root_ / "data").string());
        ASSERT_TRUE(sim_->Start());
        store_ = std::make_unique<NodeStoreBuilder>(root_ / "data");
        store_->AddGroup(kGroup);
        // The template: a client as the builder writes it, its key left to the library.
        NodeStoreBuilder scratch(root_ / "scratch");
        NodeStoreBuilder::Node node;
        node.name = "template";
        node.address = {10, 1, 2, 3};
        node.macAddress = "00-11-22-33-44-55";
        base_ = scratch.AddNode(node);
        std::memset(base_.ucNodeKey, 0, sizeof base_.ucNodeKey);
    }
    void TearDown() override {
        sim_->Stop();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path root_;
    std::unique_ptr<qvpsim::ManagerSim> sim_;
    std::unique_ptr<NodeStoreBuilder> store_;
    QVAPI_NODE base_{};
};

TEST_F(WritersLoad, EveryNameHasOneDefinitionAndEveryFileIsWhole) {
    void* shared = mmap(nullptr, sizeof(SharedLog), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* log = new (shared) SharedLog{};
    const std::string port = std::to_string(sim_->port());
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back(Caller, std::ref(*log), std::cref(base_), port, unsigned(p * 31 + t));
            // A reader that never pauses, as a busy site's lookups: it meets every file a writer makes.
            std::atomic<bool> done{false};
            std::thread reader([&] {
                for (unsigned i = 0; !done; ++i) {
                    QVAPI_NODE r{};
                    qvAPIGetClientDefinitionByName(kNames[i % kNameCount], &r);
                }
            });
            for (std::thread& t : threads) t.join();
            done = true;
            reader.join();
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<Event> events(log->events, log->events + std::min<size_t>(log->used, std::size(log->events)));
    munmap(shared, sizeof(SharedLog));
    EXPECT_GT(events.size(), 10u);
    EXPECT_EQ(BrokenHistory(events), "");

    // Every definition file whole, and each name defined once at most.
    std::map<std::string, int> defined;
    for (const auto& entry : fs::directory_iterator(store_->NodeDefDir())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(entry.file_size(), sizeof(QVAPI_NODE)) << entry.path();
        if (entry.file_size() == sizeof(QVAPI_NODE)) ++defined[NodeStoreBuilder::ReadRecord(entry.path()).ucNodeName];
    }
    for (const auto& [name, count] : defined) EXPECT_EQ(count, 1) << name;

    // The group file whole, each member listed once and linked back from its node.
    if (!fs::exists(store_->GroupFilePath(kGroup))) return;  // the last member went with the file
    const auto bytes = NodeStoreBuilder::ReadBytes(store_->GroupFilePath(kGroup));
    ASSERT_GE(bytes.size(), 32u);
    ASSERT_EQ((bytes.size() - 32) % 144, 0u);
    uint32_t entryBytes = 0, entryCount = 0;
    std::memcpy(&entryBytes, bytes.data(), 4);
    std::memcpy(&entryCount, bytes.data() + 24, 4);
    EXPECT_EQ(entryBytes, bytes.size() - 32);
    EXPECT_EQ(entryCount, (bytes.size() - 32) / 144);
    std::set<std::string> listed;
    for (const auto& entry : store_->ReadGroupFile(kGroup)) {
        EXPECT_TRUE(listed.insert(entry.name).second) << entry.name << " listed twice";
        ASSERT_EQ(defined.count(entry.name), 1u) << entry.name << " listed without a definition";
        QVAPI_NODE r{};
        ASSERT_EQ(qvAPIGetClientDefinitionByName(entry.name.c_str(), &r), 1) << entry.name;
        const auto links = store_->ReadBackLinks(r);
        EXPECT_EQ(std::count(links.begin(), links.end(), kGroup), 1) << entry.name << " not linked back";
    }
}

}  // namespace
}  // namespace qvptest

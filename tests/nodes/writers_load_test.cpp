// Node writers under load: processes x threads, each with its own session to one simulator,
// create, rename and delete clients on shared names and add/remove them in one group while
// readers run. No name may be made or removed twice in a row, and the store must end whole.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/kill_steps.h"
#include "support/node_store_builder.h"
#include "support/sim_fixture.h"

namespace qvptest {
namespace {

constexpr int kProcesses = 4, kThreads = 3, kCalls = 60, kNameCount = 5;
const char* const kNames[kNameCount] = {"c0", "c1", "c2", "c3", "c4"};
constexpr char kGroup[] = "\\G1";

// One successful call's effect on one name (made: it came to exist; else it went), in its span.
struct Event { int64_t start, end; int name; bool made; };
struct SharedLog { std::atomic<uint32_t> used; Event events[kProcesses * kThreads * kCalls * 2]; };

int64_t Now() { return std::chrono::steady_clock::now().time_since_epoch().count(); }  // one clock for all processes

void Caller(SharedLog& log, const QVAPI_NODE& base, const std::string& port, unsigned seed) {
    if (qvAPIOpen("127.0.0.1", port.c_str()) != 1) return;
    std::mt19937 random(seed);
    const auto note = [&](int64_t start, int name, bool made) {
        const uint32_t at = log.used.fetch_add(1);
        if (at < std::size(log.events)) log.events[at] = Event{start, Now(), name, made};
    };
    for (int call = 0; call < kCalls; ++call) {
        const int a = int(random() % kNameCount), b = int(random() % kNameCount), kind = int(random() % 7);
        const char* name = kNames[a];
        QVAPI_NODE r = base, found{};
        std::strcpy(r.ucNodeName, kind == 2 ? kNames[b] : name);
        std::memset(&r.stUpdateTime, 0, sizeof r.stUpdateTime);  // stamped now: never refused as older
        const int64_t start = Now();
        if (kind < 2 && qvAPICreateClientDefinition(name, &r, 0) == 1) note(start, a, true);
        const bool renamed =
            kind == 2 && a != b && qvAPIChangeClientDefinition(name, QVAPI_CHANGE_NODE_NAME, &r, 0) == 1;
        if (renamed) note(start, b, true);
        if (renamed || (kind == 3 && qvAPIDeleteClientDefinition(name, 0, nullptr) == 1)) note(start, a, false);
        // Readers open definitions without sharing, as writers do: they meet the writers' files.
        if (kind == 4) qvAPIGetClientDefinitionByName(name, &found);
        if (kind == 5) {
            QVPAPI_HANDLE walk = qvAPIFindFirstNode(kGroup, &found, 0, 0);
            if (walk == QVPAPI_INVALID_HANDLE) continue;
            while (qvAPIFindNextNode(walk, &found, 0, 0) == 1) {}
            qvAPIFindCloseNode(walk, 0, 0);
        }
        if (kind == 6) random() % 2 ? qvAPIDeleteClient(kGroup, name, 0, 0) : qvAPICreateClient(kGroup, name, 0, 0);
    }
    qvAPIClose();
}

// Two same-kind events of a name that no event of the other kind can have come between, or a
// name gone before anything could have made it.
std::string BrokenHistory(const std::vector<Event>& events) {
    const auto any = [&](const Event& of, bool made, int64_t after, int64_t before) {
        return std::any_of(events.begin(), events.end(), [&](const Event& e) {
            return e.name == of.name && e.made == made && e.end > after && e.start < before;
        });
    };
    for (const Event& first : events) {
        if (!first.made && !any(first, true, INT64_MIN, first.end))
            return std::string(kNames[first.name]) + " went before it was made";
        for (const Event& second : events)
            if (second.name == first.name && second.made == first.made && first.end < second.start &&
                !any(first, !first.made, first.start, second.end))
                return std::string(kNames[first.name]) + (first.made ? " made" : " gone") + " twice in a row";
    }
    return {};
}

struct WritersLoad : SimTest {
    WritersLoad() : SimTest("qvp-load-") {}
    // A client as the builder writes it, key and name left blank.
    QVAPI_NODE Template() const {
        NodeStoreBuilder::Node node;
        node.name = "template";
        node.address = {10, 1, 2, 3};
        node.macAddress = "00-11-22-33-44-55";
        QVAPI_NODE base = NodeStoreBuilder(root_ / "scratch").AddNode(node);
        std::memset(base.ucNodeName, 0, sizeof base.ucNodeName);
        std::memset(base.ucNodeKey, 0, sizeof base.ucNodeKey);
        return base;
    }
};

TEST_F(WritersLoad, EveryNameHasOneDefinitionAndEveryFileIsWhole) {
    if (kNoThreadsAfterFork) GTEST_SKIP() << kNoThreadsAfterFork;
    NodeStoreBuilder store(data());
    store.AddGroup(kGroup);
    const QVAPI_NODE base = Template();

    void* shared = mmap(nullptr, sizeof(SharedLog), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* log = new (shared) SharedLog{};
    const std::string port = std::to_string(sim().port());
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::atomic<int> writing{kThreads};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back([&, t] { Caller(*log, base, port, unsigned(p * 31 + t)); --writing; });
            // A reader that never pauses, as a busy site's lookups: it meets every file a writer makes.
            threads.emplace_back([&] {
                QVAPI_NODE r{};
                for (unsigned i = 0; writing > 0; ++i) qvAPIGetClientDefinitionByName(kNames[i % kNameCount], &r);
            });
            for (std::thread& t : threads) t.join();
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) EXPECT_EQ(ExitCode(WaitChild(child)), 0);
    const std::vector<Event> events(log->events, log->events + std::min<size_t>(log->used, std::size(log->events)));
    munmap(shared, sizeof(SharedLog));
    EXPECT_GT(events.size(), 10u);
    EXPECT_EQ(BrokenHistory(events), "");

    std::set<std::string> defined;  // every definition whole, each name defined at most once
    for (const auto& entry : fs::directory_iterator(store.NodeDefDir())) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(entry.file_size(), sizeof(QVAPI_NODE)) << entry.path();
        if (entry.file_size() != sizeof(QVAPI_NODE)) continue;
        const std::string name = NodeStoreBuilder::ReadRecord(entry.path()).ucNodeName;
        EXPECT_TRUE(defined.insert(name).second) << name << " defined twice";
    }

    // The group file whole, each member listed once and linked back from its node.
    if (!fs::exists(store.GroupFilePath(kGroup))) return;  // the last member went with the file
    std::vector<NodeStoreBuilder::GroupEntry> entries;
    ASSERT_NO_THROW(entries = store.ReadGroupFile(kGroup));  // its head matches its entries
    ASSERT_EQ(fs::file_size(store.GroupFilePath(kGroup)), 32 + 144 * entries.size());
    std::set<std::string> listed;
    for (const auto& entry : entries) {
        EXPECT_TRUE(listed.insert(entry.name).second) << entry.name << " listed twice";
        ASSERT_EQ(defined.count(entry.name), 1u) << entry.name << " listed without a definition";
        QVAPI_NODE r{};
        ASSERT_EQ(qvAPIGetClientDefinitionByName(entry.name.c_str(), &r), 1) << entry.name;
        const auto links = store.ReadBackLinks(r);
        EXPECT_EQ(std::count(links.begin(), links.end(), kGroup), 1) << entry.name << " not linked back";
    }
}

// A caller may fork in any thread at any moment (children that exit at once, as a program that
// starts a helper): threads that open sessions, log, make named objects and write nodes never
// stall meanwhile. A child runs it all for a few seconds and is killed if it stalls.
TEST_F(WritersLoad, ForksInAnotherThreadNeverStallTheCallers) {
    if (kNoForkWhileThreadsAllocate) GTEST_SKIP() << kNoForkWhileThreadsAllocate;
    NodeStoreBuilder(data()).AddGroup(kGroup);
    const QVAPI_NODE base = Template();
    const std::string port = std::to_string(sim().port());
    const int stalled = EndsWithin(30, [&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        auto log = std::make_unique<SharedLog>();
        std::atomic<int> calling{kThreads};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (unsigned round = 0; std::chrono::steady_clock::now() < until; ++round)
                    Caller(*log, base, port, unsigned(t * 131 + round));
                --calling;
            });
        unsigned forks = 0;
        while (calling > 0) {
            const pid_t child = fork();
            if (child == 0) _exit(0);
            if (child > 0) waitpid(child, nullptr, 0), ++forks;
        }
        for (std::thread& t : threads) t.join();
        return forks > 0 ? 0 : 1;
    });
    EXPECT_EQ(stalled, 0) << "a caller or the forking thread stalled";
}

}  // namespace
}  // namespace qvptest

// Emptying a node group of 10,000 members one by one, against rewriting the same group file
// entry by entry with plain stream I/O; and a GUI-name search over 100,000 definitions,
// against reading the same files with cat. Each prints the library's time, the reference's
// and their ratio.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/block.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "support/node_store_builder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qvptest::NodeStoreBuilder;

fs::path FreshRoot(const char* tag) {
    fs::path root = fs::temp_directory_path() / (std::string("qvp-bench-") + tag + "-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    win::registry::Set("PathName", root.string());
    QVPAPI* block = qvpGetThreadBlock();
    block->systemManagementKey = 0;
    block->recordSizes[0] = QVAPI_NODE_SIZE;
    return root;
}

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void Report(benchmark::State& state, double library, double reference) {
    state.counters["library_s"] = library;
    state.counters["reference_s"] = reference;
    state.counters["ratio"] = reference > 0 ? library / reference : 0;
}

void BM_EmptyGroupOneByOne(benchmark::State& state) {
    const int members = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const fs::path root = FreshRoot("group");
        NodeStoreBuilder store(root);
        std::vector<std::string> names;
        for (int i = 0; i < members; ++i) {
            NodeStoreBuilder::Node node;
            node.name = "node" + std::to_string(i);
            store.AddNode(node);
            names.push_back(node.name);
        }
        std::vector<NodeStoreBuilder::GroupEntry> entries;
        for (const auto& name : names) entries.push_back({name, 1, {}});
        store.WriteGroupFile("\\G", entries);
        for (const auto& name : names) {
            std::vector<std::string> link{"\\G"};
            store.WriteAttributionFile(store.Record(name), link);
        }
        const auto groupBytes = NodeStoreBuilder::ReadBytes(store.GroupFilePath("\\G"));

        auto start = Clock::now();
        for (const auto& name : names)
            if (qvAPIDeleteClient("\\G", name.c_str(), 0, 0) != 1) state.SkipWithError("delete failed");
        const double library = Seconds(start);

        // Reference: the same file emptied entry by entry with streams (read whole, drop the
        // first entry, write back), no locks, no back-links.
        const fs::path reference = root / "reference";
        { std::ofstream(reference, std::ios::binary).write(reinterpret_cast<const char*>(groupBytes.data()), groupBytes.size()); }
        start = Clock::now();
        for (int i = 0; i < members; ++i) {
            std::vector<char> bytes(fs::file_size(reference));
            std::ifstream(reference, std::ios::binary).read(bytes.data(), bytes.size());
            std::ofstream out(reference, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), 32);
            out.write(bytes.data() + 32 + 144, bytes.size() - 32 - 144);
        }
        Report(state, library, Seconds(start));
        fs::remove_all(root);
    }
}
BENCHMARK(BM_EmptyGroupOneByOne)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_GuiNameSearch(benchmark::State& state) {
    const int definitions = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const fs::path root = FreshRoot("search");
        NodeStoreBuilder store(root);
        // Random names of 16 to 24 letters spread over many hashes (synonym slots are few).
        std::mt19937 random(42);
        std::set<std::string> names;
        while (static_cast<int>(names.size()) < definitions) {
            std::string name(16 + random() % 9, 'a');
            for (char& c : name) c = static_cast<char>('a' + random() % 26);
            names.insert(name);
        }
        for (const auto& name : names) {
            NodeStoreBuilder::Node node;
            node.name = name;
            store.AddNode(node);
        }
        auto start = Clock::now();
        QVAPI_NODE node{};
        int found = 0;
        QVPAPI_HANDLE h = qvAPIFindFirstNodeDefinitionByGuiName("qz", &node, 0x01, 0);
        if (h != QVPAPI_INVALID_HANDLE) {
            do ++found;
            while (qvAPIFindNextNodeDefinitionByGuiName(h, &node, 0x01, 0) == 1);
            qvAPIFindCloseNodeDefinitionByGuiName(h);
        }
        const double library = Seconds(start);
        state.counters["found"] = found;

        const std::string command = "find '" + store.NodeDefDir().string() +
                                    "' -maxdepth 1 -type f -name '?.*' -print0 | xargs -0 cat > /dev/null";
        start = Clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
        Report(state, library, Seconds(start));
        fs::remove_all(root);
    }
}
BENCHMARK(BM_GuiNameSearch)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

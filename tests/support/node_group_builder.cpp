#include "support/node_group_builder.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>

#include "core/block.h"
#include "core/log.h"
#include "platform/win.h"

namespace qvptest {

namespace fs = std::filesystem;

void NodeGroupStore::SetUp() {
    static std::atomic<int> counter{0};
    root_ = fs::temp_directory_path() /
            ("qvp-groups-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(root_);
    fs::create_directories(root_);
    win::registry::Set("PathName", root_.string());
    QVPAPI* block = qvpGetThreadBlock();
    ASSERT_NE(block, nullptr);
    block->systemManagementKey = 0;
    SetLevelSize(QVAPI_NODE_SIZE);
    store_ = std::make_unique<NodeStoreBuilder>(root_);
}

void NodeGroupStore::TearDown() {
    if (QVPAPI* block = qvpPeekThreadBlock(); block != nullptr && block->dllLogId != 0) {
        qvpLogClose(block->dllLogId);
        block->dllLogId = 0;
    }
    store_.reset();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void NodeGroupStore::SetLevelSize(uint32_t size) { qvpGetThreadBlock()->recordSizes[0] = size; }

QVAPI_NODE NodeGroupStore::AddHostNode(const std::string& name, uint32_t kind,
                                       const std::string& master) {
    NodeStoreBuilder::Node node;
    node.name = name;
    node.kind = kind;
    node.master = master;
    node.macAddress = "00-11-22-33-44-55";
    node.created = QVAPI_NODE_TIME{2020, 1, 3, 2, 10, 20, 30, 400};
    node.updated = QVAPI_NODE_TIME{2021, 2, 4, 3, 11, 21, 31, 401};
    return store_->AddNode(node);
}

void NodeGroupStore::FreshStoreWithMembers() {
    fs::remove_all(root_ / "SERVER");
    store_ = std::make_unique<NodeStoreBuilder>(root_);
    AddHostNode("alpha", QVAPI_NODE_CLIENT);
    AddHostNode("beta", QVAPI_NODE_CLIENT);
    store_->AddGroup("\\G1");
    store_->AddMember("\\G1", "beta");
}

std::vector<uint8_t> NodeGroupStore::Bytes(const fs::path& path) const {
    return NodeStoreBuilder::ReadBytes(path);
}

fs::path NodeGroupStore::GroupFile(const std::string& groupPath) const {
    return store_->GroupFilePath(groupPath);
}

}  // namespace qvptest

namespace qvptest {

void NodeGroupStore::EnableLog() { qvpGetThreadBlock()->dllLogId = qvpLogOpen("DLL.LOG"); }

std::string NodeGroupStore::LogText() const {
    std::ifstream in(root_ / "LOG" / "DLL.LOG", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qvptest

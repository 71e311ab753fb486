// A fresh data root per test for the node-group suites: PathName pointed at a temporary
// directory, the thread's block set to host-name keying at the whole-record API level, and a
// store builder over it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/node_store_builder.h"
#include "qvpapi.h"

namespace qvptest {

class NodeGroupStore : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A host-name keyed node (client or master below `master`).
    QVAPI_NODE AddHostNode(const std::string& name, uint32_t kind, const std::string& master = {});
    // The store made anew with the clients alpha and beta, \G1 listing beta (for the walks that
    // lay out a fresh store before each step).
    void FreshStoreWithMembers();
    void SetLevelSize(uint32_t size);
    std::vector<uint8_t> Bytes(const std::filesystem::path& path) const;
    std::filesystem::path GroupFile(const std::string& groupPath) const;
    // DLL.LOG of this root for the thread's block, and its whole text so far.
    void EnableLog();
    std::string LogText() const;
    // Whether some record of DLL.LOG holds `text` (a record is blank-padded after it).
    bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }

    std::filesystem::path root_;
    std::unique_ptr<NodeStoreBuilder> store_;
};

}  // namespace qvptest

// A fresh data root per test: its own settings file with PathName pointing at it, the calling
// thread's block at API level 5 and host-name keying, and a store builder over it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "core/block.h"
#include "support/node_store_builder.h"
#include "platform/win.h"
#include "qvpapi.h"

// Node specs name only the fields a case needs; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qvptest {

inline std::filesystem::path FreshRoot(const char* tag) {
    std::random_device rd;
    auto root = std::filesystem::temp_directory_path() /
                (std::string("qvp-") + tag + "-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(root);
    return root;
}

class NodeStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = FreshRoot("nodes");
        const auto config = root_ / "qvpapi.conf";
        std::ofstream(config) << "[QVPAPI]\nPathName=" << root_.string() << "\n";
        win::registry::LoadFrom(config.string());
        win::registry::Set("PathName", root_.string());
        win::SetACPForTesting(932);
        block_ = qvpGetThreadBlock();
        ASSERT_NE(block_, nullptr);
        block_->systemManagementKey = 0;
        ASSERT_EQ(qvAPIExpandLevel(5), 1);
        store_ = std::make_unique<NodeStoreBuilder>(root_);
    }
    void TearDown() override {
        store_.reset();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    void SetKey(uint8_t key) { block_->systemManagementKey = key; }

    std::filesystem::path root_;
    QVPAPI* block_ = nullptr;
    std::unique_ptr<NodeStoreBuilder> store_;
};

}  // namespace qvptest

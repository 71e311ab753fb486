// A fresh data root per test: settings file, install root and run-time directory of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/block.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/win.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = qvptest::MakeTempRoot("qvp-core-");
        (void)qvpTakeSettingsProblems();  // the program's record of its settings: tests count their own
        WriteSettings("");
        win::SetACPForTesting(932);
    }

    void TearDown() override {
        if (QVPAPI* block = qvpPeekThreadBlock()) {
            if (block->dllLogId != 0) qvpLogClose(block->dllLogId);
            if (block->nodeLogId != 0) qvpLogClose(block->nodeLogId);
            qvpResetBlock(*block);
        }
        std::error_code ec;
        for (auto& p : fs::recursive_directory_iterator(root_, ec)) {
            fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(root_, ec);
    }

    // Replaces the settings: PathName and RunDir of this root plus `extra` library lines.
    void WriteSettings(const std::string& extra) { qvptest::WriteRootSettings(root_, extra); }

    fs::path data() const { return root_ / "data"; }
    fs::path root() const { return root_; }

    static std::string ReadText(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static void WriteText(const fs::path& p, const std::string& text) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }

private:
    fs::path root_;
};

// A fresh data root with its own settings file, the simulator with its record stores on
// loopback, and a session open against it (or one without a socket).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/block.h"
#include "manager-sim/sim.h"
#include "manager-sim/store_records.h"
#include "platform/win.h"
#include "qvpapi.h"
#include "records/records.h"

namespace qvptest {

namespace fs = std::filesystem;

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        root_ = fs::temp_directory_path() /
                ("qvp-records-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(root_);
        fs::create_directories(data());
        fs::create_directories(root_ / "run");
        const fs::path conf = root_ / "qvpapi.conf";
        std::ofstream(conf) << "[QVPAPI]\nPathName=" << data().string()
                            << "\nConnectRetryCount=1\n[Platform]\nRunDir=" << (root_ / "run").string()
                            << "\n";
        win::registry::LoadFrom(conf.string());
        sim_ = std::make_unique<qvpsim::ManagerSim>(data().string());
        store_ = std::make_unique<qvpsim::RecordStore>(*sim_);
        ASSERT_TRUE(sim_->Start());
    }

    void TearDown() override {
        qvAPIClose();
        sim_->Stop();
        fs::remove_all(root_);
    }

    void Open() { ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1); }
    void OpenSocketless() {
        sim_->SetHandshakeReply("CONNECTA 52");
        Open();
        ASSERT_EQ(block()->link, QvpLink::Socketless);
    }

    fs::path data() const { return root_ / "data"; }
    QVPAPI* block() { return qvpGetThreadBlock(); }
    qvpsim::ManagerSim& sim() { return *sim_; }
    qvpsim::RecordStore& store() { return *store_; }

    // The payload of the last request received.
    std::string LastRequest() const {
        const auto received = sim_->Received();
        return received.empty() ? std::string() : received.back();
    }

    static QVAPI_PACKAGE Package(char qv, const char* cabinet, const char* id, const char* version,
                                 const char* generation, const char* resource = "P0000001") {
        QVAPI_PACKAGE p;
        std::memset(&p, 0, sizeof p);
        p.wLength = htobe16(QVAPI_PACKAGE_SIZE);
        std::string key = std::string(1, qv) + Pad(cabinet, 2) + Pad(id, 44) + Pad(version, 8) + Pad(generation, 4);
        std::memcpy(&p.cQvCode, key.data(), key.size());
        std::memcpy(p.szResourceName, resource, strnlen(resource, 8));
        p.dwAttribute4 = htobe32(0x01020304);
        return p;
    }
    static std::string Pad(std::string_view text, size_t width) {
        std::string out(text);
        out.resize(width, ' ');
        return out;
    }

    fs::path root_;
    std::unique_ptr<qvpsim::ManagerSim> sim_;
    std::unique_ptr<qvpsim::RecordStore> store_;
};

}  // namespace qvptest

// A fresh data root with its own settings file, the simulator with its record stores on
// loopback, and a session open against it (or one without a socket).
#pragma once

#include <endian.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/block.h"
#include "manager-sim/store_records.h"
#include "qvpapi.h"
#include "records/records.h"
#include "support/sim_fixture.h"

namespace qvptest {

class RecordsTest : public SimTest {
protected:
    RecordsTest() : SimTest("qvp-records-") {}

    void AddHandlers(qvpsim::ManagerSim& sim) override {
        store_ = std::make_unique<qvpsim::RecordStore>(sim);
    }

    void Open() { ASSERT_EQ(qvAPIOpen("127.0.0.1", std::to_string(sim_->port()).c_str()), 1); }
    void OpenSocketless() {
        sim_->SetHandshakeReply("CONNECTA 52");
        Open();
        ASSERT_EQ(block()->link, QvpLink::Socketless);
    }

    QVPAPI* block() { return qvpGetThreadBlock(); }
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

    std::unique_ptr<qvpsim::RecordStore> store_;
};

}  // namespace qvptest

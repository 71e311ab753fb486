// The records fixture with what the package suites add: cabinets and packages registered the
// way a caller does it, and files written and read whole.
#pragma once

#include <endian.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "packages/package_files.h"
#include "records/fixture.h"

namespace qvptest {

class PackagesTest : public RecordsTest {
protected:
    static void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A caller's attribute file: the record in host order.
    fs::path AttributeFile(QVAPI_PACKAGE record, bool script) {
        qvp::packages::PackageToHost(record);
        if (script) record.ucFlags |= QVAPI_PACKAGE_FLAG_SCRIPT;
        const fs::path path = root_ / "caller" / "package.atr";
        Write(path, std::string(reinterpret_cast<const char*>(&record), sizeof record));
        return path;
    }
    uint32_t Code() const { return qvAPIGetLastError(); }

    // Calls that must fail with their code before anything reaches the manager.
    struct Refusal {
        const char* what;
        std::function<long()> call;
        uint32_t code;
    };
    void ExpectRefusedUnsent(const std::vector<Refusal>& cases) {
        const size_t before = sim().Received().size();
        for (const Refusal& c : cases) {
            SCOPED_TRACE(c.what);
            EXPECT_EQ(c.call(), 0);
            EXPECT_EQ(Code(), c.code);
        }
        EXPECT_EQ(sim().Received().size(), before);
    }
};

}  // namespace qvptest

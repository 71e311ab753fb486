// The ID record reader over arbitrary bytes: an IDGET reply as received (exactly its bytes on
// the heap), then the record it delivers read as an ID (password decoded) and as a client and a
// master entry (names looked up in an empty node store), as the finders read them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/frame.h"
#include "fuzz_root.h"
#include "idgroups/id_command.h"
#include "idgroups/id_finders.h"

namespace {

using namespace qvp;
using namespace qvp::ids;

constexpr FrameTexts kFrame{"fuzz_id_record"};

void Setup() { static const auto root = fuzzroot::MakeRoot("qvp-fuzz-id-record-"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    const std::vector<char> exact(data, data + size);
    uint8_t record[QVAPI_IDRECORD_SIZE];
    const IdgetReply plain = ReadIdgetReply(exact.data(), exact.size(), false, record);
    const IdgetReply taken = ReadIdgetReply(exact.data(), exact.size(), true, record);
    if (plain == IdgetReply::Record && taken != IdgetReply::Record) std::abort();
    if (taken != IdgetReply::Record) return 0;

    RunApi(kFrame, 0, [&](CallContext& call) {
        IdNodeData out;
        FillGroup(call, "sales", "\\", record, out);
        uint32_t code = 0, soft = 0;
        for (bool client : {true, false})
            for (bool walk : {true, false}) BuildMember(call, record, client, walk, "\\sales", out, code, soft);
        return 1;
    });
    return 0;
}

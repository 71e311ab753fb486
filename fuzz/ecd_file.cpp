// Whole encoded files. Inputs starting with 0xEC are payloads instead: each is encoded by the
// test encoder (the second byte chooses stored, Huffman or zlib blocks) and must decode back to
// itself; any other input is decoded as it is and must give one of the decoder's results. The
// decoder writes nowhere but its output: no temporary stays beside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "client/ecd/ecd.h"
#include "fuzz_root.h"
// The test encoder is built into this target so the property needs no other library.
#include "../tests/support/ecd_encoder.cpp"

namespace {

namespace fs = std::filesystem;

const fs::path& Work() {
    static const fs::path work = fuzzroot::MakeRoot("qvp-fuzz-ecd-");
    return work;
}

void Write(const fs::path& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                                static_cast<std::streamsize>(size));
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path in = Work() / "in.ecd";
    const fs::path out = Work() / "out.bin";
    std::error_code ec;
    fs::remove(out, ec);
    if (size >= 2 && data[0] == 0xEC) {
        const qvptest::Bytes payload(data + 2, data + size);
        const auto encoding = static_cast<qvptest::EcdEncoding>(data[1] % 3);
        if (encoding == qvptest::EcdEncoding::Huffman && payload.empty()) return 0;
        const qvptest::Bytes file = qvptest::EcdEncode(payload, encoding);
        Write(in, file.data(), file.size());
        if (EcdCtrlDecodeFile(in.c_str(), out.c_str()) != kEcdOk) std::abort();
        if (Read(out) != std::string(payload.begin(), payload.end())) std::abort();
        return 0;
    }
    Write(in, data, size);
    const int result = EcdCtrlDecodeFile(in.c_str(), out.c_str());
    switch (result) {
    case kEcdOk: case kEcdBadOption: case kEcdNoDecode: case kEcdBadMagic: case kEcdBadBlock:
    case kEcdIoError:
        break;
    default:
        std::abort();
    }
    for (const auto& entry : fs::directory_iterator(Work())) {
        const std::string name = entry.path().filename();
        if (name != "in.ecd" && name != "out.bin" && name != "data" && name != "run" &&
            name != "qvpapi.conf") {
            std::fprintf(stderr, "left behind: %s\n", name.c_str());
            std::abort();
        }
    }
    return 0;
}

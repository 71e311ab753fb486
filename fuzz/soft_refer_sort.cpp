// The soft-refer sort over arbitrary bytes, as job creation runs it on the lists joined into a
// job's PB000000: whatever the lines, every record comes back as one LF-ended line of nine
// fields, and a file without records is left as it was.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_root.h"
#include "qvpapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path root = fuzzroot::MakeRoot("qvp-fuzz-soft-");
    const std::filesystem::path path = root / "PB000000";
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
    if (qvAPIReCreateSortJobGen(path.c_str(), 0, 0) != 1) std::abort();
    std::ifstream in(path, std::ios::binary);
    const std::string out(std::istreambuf_iterator<char>(in), {});
    if (out == input) return 0;
    if (out.empty() || out.back() != '\n') std::abort();
    size_t separators = 0;
    for (char c : out) {
        if (c == ';') ++separators;
        if (c != '\n') continue;
        if (separators != 8) std::abort();
        separators = 0;
    }
    return 0;
}

// Decoder throughput next to its outside references, measured in one run on the same
// payloads (text-like and random, QVP_BENCH_MB MiB each, 256 by default):
//   zlib blocks   the decoder's block inflation over the blocks in memory, and
//                 EcdCtrlDecodeFile file to file, each against zlib's uncompress called per
//                 32767-byte block in memory; file to file also against the plain file-to-file
//                 use of uncompress (whole file read, blocks inflated, output written) and
//                 against gzip -dc of the same data;
//   Huffman       EcdCtrlDecodeFile in MB/s and as a ratio to the in-memory inflate;
//   stored        EcdCtrlDecodeFile against cp of the encoded file (QVP_BENCH_STORED_ONLY: this
//                 one alone).
// Each figure is the best of three runs; QVP_BENCH_DIR chooses where the files go.
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "client/ecd/ecd_internal.h"
#include "client/ecd/ecd.h"
#include "platform/win.h"
#include "support/ecd_encoder.h"

namespace {

namespace fs = std::filesystem;
using qvptest::Bytes;
using qvptest::EcdEncoding;

// `before` runs ahead of each timed run, outside the time.
double BestSeconds(const std::function<void()>& run, const std::function<void()>& before = {}) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        if (before) before();
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

Bytes TextPayload(size_t size) {
    static const char* const kWords[] = {"package", "script",  "install", "zarn",   "node",
                                         "cabinet", "version", "the",     "of",     "job",
                                         "folder",  "\r\n",    "set",     "copy",   "C:\\ZARNQVP"};
    std::mt19937 random(42);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        const char* word = kWords[random() % (sizeof kWords / sizeof kWords[0])];
        for (const char* p = word; *p != '\0' && out.size() < size; ++p) out.push_back(static_cast<uint8_t>(*p));
        if (out.size() < size) out.push_back(' ');
    }
    return out;
}

Bytes RandomPayload(size_t size) {
    std::mt19937_64 random(7);
    Bytes out(size);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        const uint64_t v = random();
        std::copy_n(reinterpret_cast<const uint8_t*>(&v), 8, out.data() + i);
    }
    return out;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Walks the zlib blocks of an encoded file (data from `offset`) through `inflate`, each block
// into `out` at `at(total)`; the bytes made.
template <class Inflate, class Target>
size_t InflateBlocks(const Bytes& file, size_t offset, Inflate&& inflate, Target&& at) {
    size_t total = 0;
    while (offset + 2 <= file.size()) {
        const size_t length = size_t{file[offset]} << 8 | file[offset + 1];
        if (length == 0) break;
        uLongf size = kEcdBlockMax;
        if (inflate(at(total), &size, file.data() + offset + 2, static_cast<uLong>(length)) != Z_OK)
            std::abort();
        total += size;
        offset += 2 + length;
    }
    return total;
}

Bytes ReadWhole(const fs::path& path) {
    Bytes bytes(fs::file_size(path));
    std::ifstream(path, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void Run(const char* what, const char* name, double seconds, double mib, double reference,
         const char* referenceName) {
    std::printf("%-7s %-28s %8.3f s %9.1f MB/s", what, name, seconds, mib / seconds);
    if (reference > 0)
        std::printf("   %-24s %8.3f s %9.1f MB/s   ratio %.2fx", referenceName, reference,
                    mib / reference, seconds / reference);
    std::printf("\n");
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void BenchStored(const char* what, const Bytes& payload, const fs::path& dir) {
    const double mib = static_cast<double>(payload.size()) / (1024.0 * 1024.0);
    const fs::path storedPath = dir / "stored.ecd";
    const fs::path out = dir / "out.bin";
    const fs::path copy = dir / "copy.bin";
    WriteFile(storedPath, qvptest::EcdEncode(payload, EcdEncoding::Stored));
    // Both write a new file: the time to drop the previous run's output (and to wait for its
    // pages still on their way to the disk) is neither's.
    const double stored = BestSeconds(
        [&] {
            if (EcdCtrlDecodeFile(storedPath.c_str(), out.c_str()) != kEcdOk) std::abort();
        },
        [&] { fs::remove(out); });
    const double cp = BestSeconds([&] { Shell("cp '" + storedPath.string() + "' '" + copy.string() + "'"); },
                                  [&] { fs::remove(copy); });
    Run(what, "stored: decoder", stored, mib, cp, "cp");
}

void Bench(const char* what, const Bytes& payload, const fs::path& dir) {
    const double mib = static_cast<double>(payload.size()) / (1024.0 * 1024.0);
    const fs::path out = dir / "out.bin";
    auto decode = [&](const fs::path& in) {
        return BestSeconds([&] {
            if (EcdCtrlDecodeFile(in.c_str(), out.c_str()) != kEcdOk) std::abort();
        });
    };

    if (std::getenv("QVP_BENCH_STORED_ONLY") != nullptr) return BenchStored(what, payload, dir);

    // zlib blocks
    const Bytes zlibFile = qvptest::EcdEncode(payload, EcdEncoding::Zlib);
    const fs::path zlibPath = dir / "zlib.ecd";
    WriteFile(zlibPath, zlibFile);
    const double zlibLib = decode(zlibPath);
    // The references write each block into the same 32767-byte area, as a block decoder
    // working in place does; the decoder's own inflation does the same.
    static uint8_t area[kEcdBlockMax];
    const auto sameArea = [](size_t) { return area; };
    const double inflate = BestSeconds([&] {
        if (InflateBlocks(zlibFile, 20, uncompress, sameArea) != payload.size()) std::abort();
    });
    ecd::Inflater inflater;
    const double zlibMemory = BestSeconds([&] {
        const auto own = [&](Bytef* d, uLongf* n, const Bytef* s, uLong l) {
            return inflater.Uncompress(d, n, s, l);
        };
        if (InflateBlocks(zlibFile, 20, own, sameArea) != payload.size()) std::abort();
    });
    Run(what, "zlib blocks: in memory", zlibMemory, mib, inflate, "uncompress per block");
    Run(what, "zlib blocks: decoder", zlibLib, mib, inflate, "uncompress per block");
    const fs::path plainOut = dir / "plain.bin";
    const double plainFiles = BestSeconds([&] {
        const Bytes file = ReadWhole(zlibPath);
        Bytes decoded(payload.size() + kEcdBlockMax);
        const size_t made = InflateBlocks(file, 20, uncompress,
                                          [&](size_t total) { return decoded.data() + total; });
        if (made != payload.size()) std::abort();
        decoded.resize(made);
        WriteFile(plainOut, decoded);
    });
    Run(what, "zlib blocks: decoder", zlibLib, mib, plainFiles, "uncompress file to file");
    WriteFile(dir / "payload.bin", payload);
    Shell("gzip -6 -c '" + (dir / "payload.bin").string() + "' > '" + (dir / "payload.gz").string() + "'");
    const double gzip = BestSeconds([&] {
        Shell("gzip -dc '" + (dir / "payload.gz").string() + "' > '" + (dir / "gunzip.bin").string() + "'");
    });
    Run(what, "zlib blocks: decoder", zlibLib, mib, gzip, "gzip -dc");

    // Huffman blocks
    const fs::path huffPath = dir / "huff.ecd";
    WriteFile(huffPath, qvptest::EcdEncode(payload, EcdEncoding::Huffman));
    const double huff = decode(huffPath);
    Run(what, "Huffman blocks: decoder", huff, mib, inflate, "uncompress per block");
    const Bytes huffFile = qvptest::EcdEncode(payload, EcdEncoding::Huffman);
    const double huffMemory = BestSeconds([&] {
        static uint8_t block[32767];
        const uint8_t* cursor = huffFile.data() + 20;
        size_t total = 0;
        while (cursor != nullptr) {
            const size_t left = static_cast<size_t>(huffFile.data() + huffFile.size() - cursor);
            const uint32_t got = qvpDecodeMemory(block, &cursor, left);
            if (got == 0) std::abort();
            total += got;
        }
        if (total != payload.size()) std::abort();
    });
    Run(what, "Huffman blocks: in memory", huffMemory, mib, inflate, "uncompress per block");

    BenchStored(what, payload, dir);
}

}  // namespace

int main() {
    const char* env = std::getenv("QVP_BENCH_MB");
    const size_t mib = env != nullptr ? static_cast<size_t>(std::atol(env)) : 256;
    // QVP_BENCH_DIR puts the files elsewhere (a tmpfs keeps the disk out of the figures).
    const char* where = std::getenv("QVP_BENCH_DIR");
    const fs::path dir = (where != nullptr ? fs::path(where) : fs::temp_directory_path()) /
                         ("ecd-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    std::ofstream(dir / "qvpapi.conf") << "[QVPAPI]\nPathName=" << (dir / "data").string()
                                       << "\n[Platform]\nRunDir=" << (dir / "run").string() << "\n";
    win::registry::LoadFrom((dir / "qvpapi.conf").string());
    std::printf("encoded package decoder, %zu MiB payloads, best of 3, in %s\n", mib, dir.c_str());
    Bench("text", TextPayload(mib << 20), dir);
    Bench("random", RandomPayload(mib << 20), dir);
    fs::remove_all(dir);
    return 0;
}

// An attribution record as the manager wrote it, over arbitrary bytes: the resource file names
// formed from it never hold a separator or "..", the key texts stay within their fields, and
// the byte-order conversion of its numeric fields goes back and forth unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "packages/package_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < sizeof(QVAPI_PACKAGE)) return 0;
    QVAPI_PACKAGE record;
    std::memcpy(&record, data, sizeof record);
    for (char letter : {'R', 'Q'}) {
        std::string id;
        if (!qvp::records::ResourceFileId(record, letter, id)) continue;
        if (id.size() > 8 || id[0] != letter || id.find("..") != std::string::npos ||
            id.find('/') != std::string::npos)
            std::abort();
    }
    const qvp::packages::PackageKeyTexts key = qvp::packages::KeyTextsOf(record);
    if (key.cabinet.size() > 2 || key.package.size() > 44 || key.version.size() > 8 || key.generation.size() > 4)
        std::abort();
    if (qvp::VersionFileName(key.version).size() != key.version.size()) std::abort();
    QVAPI_PACKAGE copy = record;
    qvp::packages::PackageToHost(copy);
    qvp::packages::PackageToNetwork(copy);
    if (std::memcmp(&copy, &record, sizeof record) != 0) std::abort();
    return 0;
}

#include "support/status_files.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace qvptest {

namespace fs = std::filesystem;

namespace {

void PutText(std::string& record, size_t offset, std::string_view text, size_t width) {
    std::string padded(text.substr(0, width));
    padded.resize(width, ' ');
    std::memcpy(record.data() + offset, padded.data(), width);
}

void Put16(std::string& record, size_t offset, size_t value) {
    record[offset] = static_cast<char>((value >> 8) & 0xFF);
    record[offset + 1] = static_cast<char>(value & 0xFF);
}

fs::path Mngfl(const fs::path& dataRoot) { return dataRoot / "SERVER" / "ZARNQV" / "MNGFL"; }

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Trim(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

std::string MakeStatusRecord(std::string_view node, char qvCode, std::string_view cabinet,
                             std::string_view package, std::string_view version,
                             std::string_view generation, size_t itemBytes) {
    const size_t itemArea = itemBytes > 0 ? 8 + 4 + itemBytes : 0;
    std::string record(432 + itemArea, '\0');
    Put16(record, 0, record.size());
    record[8] = qvCode;
    PutText(record, 9, cabinet, 2);
    PutText(record, 11, package, 44);
    PutText(record, 55, node, 64);
    PutText(record, 119, version, 8);
    PutText(record, 127, generation, 4);
    if (itemBytes > 0) {
        Put16(record, 436, 1);
        record[440] = 1;
        Put16(record, 442, itemBytes);
        std::memset(record.data() + 444, 'x', itemBytes);
    }
    return record;
}

std::string MakeExecutionRecord(std::string_view node, char kind, unsigned char marker) {
    std::string record(944, '\0');
    record[8] = kind;
    PutText(record, 16, node, 64);
    record[90] = static_cast<char>(marker);
    return record;
}

fs::path WriteStatusFile(const fs::path& dataRoot, std::string_view node, const std::string& record) {
    auto field = [&](size_t offset, size_t width) { return Trim(record.substr(offset, width)); };
    std::string version = field(119, 8);
    std::replace(version.begin(), version.end(), '/', '#');
    const std::string name = std::string(1, record[8]) + "." + field(9, 2) + "." + field(11, 44) + "." +
                             version + "." + field(127, 4);
    const fs::path path = Mngfl(dataRoot) / "STATUS" / std::string(node) / name;
    Write(path, record);
    return path;
}

fs::path WriteExecutionFile(const fs::path& dataRoot, std::string_view jobNumber, std::string_view node,
                            const std::string& record) {
    const fs::path path = Mngfl(dataRoot) / "EXECUTION" / std::string(jobNumber) / std::string(node);
    Write(path, record);
    return path;
}

std::vector<std::string> StatusFiles(const fs::path& dataRoot, std::string_view node) {
    std::vector<std::string> names;
    const fs::path directory = Mngfl(dataRoot) / "STATUS" / std::string(node);
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qvptest

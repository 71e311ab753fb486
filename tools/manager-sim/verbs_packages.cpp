// Verbs of packages: RPUT registers a package from the files the request names (the simulator
// shares the disk with the library); RGET hands out package lists.
#include <cstdio>
#include <cstring>
#include <string>

#include "manager-sim/sim.h"
#include "manager-sim/store_records.h"
#include "platform/win.h"

namespace qvpsim {

namespace {

constexpr const char* kFileMissing = "16 21";
constexpr const char* kExists = "16 199";

// The attribution record the library wrote: exactly one QVAPI_PACKAGE, length big-endian.
bool ReadRecord(const std::string& path, QVAPI_PACKAGE& record) {
    win::HANDLE file = win::CreateFile(path.c_str(), win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                       win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == win::INVALID_HANDLE_VALUE) return false;
    win::DWORD got = 0;
    const bool read = win::ReadFile(file, &record, sizeof record, &got, nullptr) && got == sizeof record;
    win::CloseHandle(file);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return read && ((bytes[0] << 8) | bytes[1]) == QVAPI_PACKAGE_SIZE;
}

// "RPUT 3|4 t<AF> t<RF> [t<QF>] f1 <replace>": assigns a resource name, copies the package (and
// script) file into the resource folder and files the record.
std::string Rput(RecordStore& store, unsigned& counter, Call& call) {
    const Request& r = call.request;
    if (r.fields.size() != 3 && r.fields.size() != 4) return kReplyUnknownVerb;
    const bool script = r.fields.size() == 4;
    const std::string_view replace = r.Value(script ? 3 : 2);
    QVAPI_PACKAGE record;
    if (!ReadRecord(std::string(r.Value(0)), record)) return kFileMissing;
    if (store.Record('A', RecordStore::PackageKey(record)) && replace != "F") return kExists;
    char resource[16];
    std::snprintf(resource, sizeof resource, "XRP%05u", ++counter % 100000u);
    std::memcpy(record.szResourceName, resource, sizeof record.szResourceName);
    if (!store.CopyResource(std::string(r.Value(1)), "R" + std::string(resource + 1, 7))) return kFileMissing;
    if (script && !store.CopyResource(std::string(r.Value(2)), "Q" + std::string(resource + 1, 7)))
        return kFileMissing;
    store.PutAttribution(record);
    return kReplyOk;
}

// The list a connection has open.
struct OpenList {
    unsigned number = 0;  // 0: none
    std::string resource;
    std::vector<std::string> chunks;
    size_t chunk = 0;
};

constexpr size_t kListRecord = QVAPI_PACKAGE_LIST_RECORD_SIZE;

// Writes the current chunk as <root>/SERVER/WORK/RESOURCE/<number>/<resource>.LIST and answers
// "0 <more> 3 n<len> <number> c<len> <records in all> c<len> <records in the chunk>".
std::string ServeChunk(RecordStore& store, OpenList& list) {
    const std::string& bytes = list.chunks[list.chunk];
    store.WriteUnderRoot("SERVER/WORK/RESOURCE/" + std::to_string(list.number), list.resource + ".LIST", bytes);
    size_t total = 0;
    for (const std::string& chunk : list.chunks) total += chunk.size() / kListRecord;
    const auto field = [](char type, const std::string& value) {
        return " " + std::string(1, type) + std::to_string(value.size()) + " " + value;
    };
    return std::string("0 ") + (list.chunk + 1 < list.chunks.size() ? "1" : "0") + " 3" +
           field('n', std::to_string(list.number)) + field('c', std::to_string(total)) +
           field('c', std::to_string(bytes.size() / kListRecord));
}

// "RGET 3 f1 T v8 <name>" starts a list, "RGET 1 f1 N" moves to its next chunk, "RGET 1 f1 E"
// ends it.
std::string Rget(RecordStore& store, unsigned& counter, Call& call) {
    OpenList& list = call.connection.State<OpenList>("packages.list");
    const std::string_view op = call.request.Value(0);
    if (op == "T") {
        if (list.number != 0) return kReplyRefused;
        std::string name(call.request.Value(1));
        name.erase(name.find_last_not_of(' ') + 1);
        std::optional<std::vector<std::string>> chunks = store.PackageList(name);
        if (!chunks || chunks->empty()) return "16 90";
        list = OpenList{++counter, name, std::move(*chunks), 0};
        return ServeChunk(store, list);
    }
    if (list.number == 0) return "16 16";
    if (op == "N") {
        if (list.chunk + 1 >= list.chunks.size()) return "16 16";
        ++list.chunk;
        return ServeChunk(store, list);
    }
    if (op != "E") return kReplyUnknownVerb;
    list = OpenList{};
    return kReplyOk;
}

}  // namespace

void ManagerSim::InstallPackageVerbs() {}

void InstallPackageStoreVerbs(ManagerSim& sim, RecordStore& store) {
    auto counter = std::make_shared<unsigned>(0);
    sim.Handle("RPUT", [&store, counter](Call& call) { return Rput(store, *counter, call); });
    auto lists = std::make_shared<unsigned>(0);
    sim.Handle("RGET", [&store, lists](Call& call) { return Rget(store, *lists, call); });
}

}  // namespace qvpsim

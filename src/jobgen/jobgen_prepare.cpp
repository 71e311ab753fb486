// What the re-creation and the sort share: the jobgenfile read whole and written back in place,
// and the seam to the ID lookups of the layer above.
#include "jobgen/jobgen_prepare.h"

#include <cstring>

#include "nodes/name_text.h"
#include "nodes/node_group_file.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"

namespace qvp::jobgen {

namespace {

namespace msg {
constexpr char kStat[] = "%s : _stat Error : File = %s, errno = %d";
constexpr char kCreate[] = "%s : CreateFile Error : File = %s";
constexpr char kCreateErrno[] = "%s : CreateFile Error : errno = %d";
constexpr char kRead[] = "%s : ReadFile Error : File = %s";
constexpr char kReadErrno[] = "%s : ReadFile Error : errno = %d";
constexpr char kWrite[] = "%s : WriteFile Error : File = %s, errno = %d";
constexpr char kFromNull[] = "%s : Logical Error : FromJobGenFile Pointer is NULL";
constexpr char kToNull[] = "%s : Logical Error : ToJobGenFile Pointer is NULL";
constexpr char kFromEmpty[] = "%s : Logical Error : Top of FromJobGenFile is NULL";
constexpr char kToEmpty[] = "%s : Logical Error : Top of ToJobGenFile is NULL";
constexpr char kCount[] = "%s : Entry Count Error : File = %s, Count = %u";
}  // namespace msg

// ---- the default ID lookups: the NODEGROUP\I.<ID> folders --------------------------------------

std::string IdFolder(const char* groupPath, const char* id) {
    std::string folder = nodes::NodeGroupDir();
    if (groupPath != nullptr && groupPath[0] != '\0' && std::strcmp(groupPath, "\\") != 0) {
        folder += "\\I.";
        folder += groupPath[0] == '\\' ? groupPath + 1 : groupPath;
    }
    return folder + "\\I." + id;
}

uint32_t FolderGroup(QVPAPI&, const char* groupPath, const char* id, uint8_t& attributeWord) {
    attributeWord = 0;
    return IsDirectory(IdFolder(groupPath, id)) ? 0 : QVAPI_ERR_NO_MORE_ITEMS;
}

uint32_t FolderMembers(QVPAPI&, const char* groupPath, const char* id, bool masters, std::vector<IdMember>& out,
                       bool& started) {
    out.clear();
    started = false;
    FileHandle file = nodes::OpenExclusiveRead(IdFolder(groupPath, id) + "\\nodegroupfile");
    std::vector<uint8_t> image;
    if (!file.valid() || ReadDeclared(file.get(), nodes::kGroupFileLayout, image) != DeclaredRead::Read ||
        !nodes::GroupImageWellFormed(image))
        return QVAPI_ERR_NO_MORE_ITEMS;
    const uint32_t want = masters ? 2 : 1;
    for (uint32_t i = 0; i < nodes::GroupEntryCount(image); ++i) {
        const nodes::NodeGroupEntry* entry = nodes::GroupEntryAt(image, i);
        if (entry->uiMemberKind != want) continue;
        IdMember member;
        member.name = std::string(nodes::FieldText(entry->ucMemberName, nodes::kGroupMemberNameSize));
        member.attributes = want;
        member.hostIdFlag = nodes::IsHostIdName(member.name);
        if (member.hostIdFlag) member.hostId = member.name;
        const uint32_t address = win::inet_addr(member.name.c_str());
        if (address != 0xFFFFFFFFu) std::memcpy(member.address, &address, 4);
        out.push_back(std::move(member));
    }
    if (out.empty()) return QVAPI_ERR_NO_MORE_ITEMS;
    started = true;
    return 0;
}

IdFinders g_finders{&FolderGroup, &FolderMembers};

uint32_t CheckStepPaths(CallContext& call, const char* function, const char* from, const char* to) {
    const char* line = from == nullptr ? msg::kFromNull
                       : to == nullptr ? msg::kToNull
                       : from[0] == '\0' ? msg::kFromEmpty
                       : to[0] == '\0'   ? msg::kToEmpty
                                         : nullptr;
    if (line == nullptr) return 0;
    call.Log(line, function);
    return QVAPI_ERR_UNEXPECTED_DATA;
}

uint32_t PreparedHeader(CallContext& call, const char* path, const std::vector<uint8_t>& bytes, JobGenHeader& header) {
    // The count is believed only as far as the file holds whole entries: a header that announces
    // more would have every step read past its end.
    if (bytes.size() < kHeaderSize) {
        call.Log(msg::kRead, call.function(), path);
        return QVAPI_ERR_RESOURCE;
    }
    std::memcpy(&header, bytes.data(), kHeaderSize);
    if (header.entryCount > (bytes.size() - kHeaderSize) / kEntrySize) {
        call.Log(msg::kCount, call.function(), path, header.entryCount);
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}


}  // namespace

void SetIdFinders(const IdFinders& finders) { g_finders = finders; }
const IdFinders& GetIdFinders() { return g_finders; }

std::vector<uint8_t> TargetImage(CallContext& call, const char* from, const char* to, std::vector<uint8_t>&& source) {
    if (std::strcmp(from, to) == 0) return std::move(source);
    std::vector<uint8_t> image;
    if (Exists(to) && ReadPrepared(call, to, image) != 0) image.clear();
    return image;
}

uint32_t ReadPrepared(CallContext& call, const char* path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    FileHandle file = nodes::OpenExclusive(path);
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND) {
            call.Log(msg::kStat, call.function(), path, 2);
            return QVAPI_ERR_FILE_NOT_FOUND;
        }
        call.Log(msg::kCreate, call.function(), path);
        call.Log(msg::kCreateErrno, call.function(), static_cast<int>(error));
        return QVAPI_ERR_RESOURCE;
    }
    // A header announcing more than the file holds stays in `bytes` alone: PreparedHeader refuses it.
    if (Unreadable(ReadDeclared(file.get(), kJobGenFileLayout, bytes))) {
        call.Log(msg::kRead, call.function(), path);
        call.Log(msg::kReadErrno, call.function(), static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

uint32_t ReadStepInput(CallContext& call, const char* function, const ReCreateControlTable* table, const char* from,
                       const char* to, std::vector<uint8_t>& bytes, JobGenHeader& header) {
    if (const uint32_t code = CheckStepPaths(call, function, from, to); code != 0) return code;
    if (table == nullptr) {
        call.Log(kTableNullText, function);
        return QVAPI_ERR_UNEXPECTED_DATA;
    }
    if (const uint32_t code = ReadPrepared(call, from, bytes); code != 0) return code;
    return PreparedHeader(call, from, bytes, header);
}

void Overlay(std::vector<uint8_t>& image, const JobGenHeader& header, const std::vector<JobGenEntry>& entries) {
    const size_t size = kHeaderSize + entries.size() * kEntrySize;
    if (image.size() < size) image.resize(size);
    std::memcpy(image.data(), &header, kHeaderSize);
    if (!entries.empty()) std::memcpy(image.data() + kHeaderSize, entries.data(), entries.size() * kEntrySize);
}

uint32_t WritePrepared(CallContext& call, const char* path, const std::vector<uint8_t>& image) {
    FileHandle file = nodes::OpenExclusive(path, win::OPEN_ALWAYS);
    if (!file.valid() || !nodes::WriteAt(file.get(), 0, image.data(), static_cast<uint32_t>(image.size()))) {
        call.Log(msg::kWrite, call.function(), path, static_cast<int>(win::GetLastError()));
        return QVAPI_ERR_RESOURCE;
    }
    return 0;
}

}  // namespace qvp::jobgen

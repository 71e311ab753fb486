// What writers of a stored JobGen killed part way leave behind, put right by the next caller that
// holds the JobGen's mutex: a commit's new JobGen beside the stored one, the old one set aside,
// and a header whose name a rename had changed before the folder moved.
#include <cstring>
#include <vector>

#include "core/bounded_read.h"
#include "core/fileutil.h"
#include "core/temp_file.h"
#include "jobgen/jobgen_file.h"

namespace qvp::jobgen {

namespace {

namespace msg {
constexpr char kPutBack[] = "%s : MoveFile %s -> %s : ErrorCode = %d";
constexpr char kLeftover[] = "%s : gaiCOMDirectoryDeleteAll %s : ErrorCode = %d";
constexpr char kHeaderStep[] = "%s : %s %s : ErrorCode = %d";
}  // namespace msg

// The stored jobgenfile: its header, or (`whole`) the header and the entries it declares, never
// more, and only when they read as a JobGen the open loads. The failing step's name, or nullptr.
const char* ReadStored(const std::string& file, bool whole, std::vector<uint8_t>& bytes) {
    FileHandle handle(win::CreateFile(file.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) return "CreateFile";
    if (!whole) {
        bytes.assign(kHeaderSize, 0);
        return ReadExact(handle.get(), bytes.data(), kHeaderSize) ? nullptr : "ReadFile";
    }
    // A file the open is to refuse as unreadable is never rewritten here. What is read is all
    // there is: a header that counts no entries is the only other refusal.
    JobGenHeader header{};
    if (ReadDeclared(handle.get(), kJobGenFileLayout, bytes) == DeclaredRead::Read && bytes.size() >= kHeaderSize)
        std::memcpy(&header, bytes.data(), kHeaderSize);
    if (header.entryCount == 0) {
        if (win::GetLastError() == 0) win::SetLastError(win::ERROR_INVALID_DATA);
        return "ReadFile";
    }
    return nullptr;
}

// The name a header holds and a name given (as far as the field takes it) are one JobGen's.
bool SameName(const std::vector<uint8_t>& bytes, std::string_view name) {
    JobGenHeader stored{}, given{};
    std::memcpy(&stored, bytes.data(), kHeaderSize);
    PutField(given.name, sizeof given.name, name);
    return StoreSpelling(FieldText(stored.name, sizeof stored.name)) == StoreSpelling(FieldText(given.name, sizeof given.name));
}

}  // namespace

bool NameStoredHeader(CallContext& call, const std::string& dir, std::string_view name) {
    const std::string file = dir + "\\" + kJobGenFile;
    std::vector<uint8_t> bytes;
    const char* step = ReadStored(file, true, bytes);
    if (step == nullptr) {
        JobGenHeader header{};
        std::memcpy(&header, bytes.data(), kHeaderSize);
        PutField(header.name, sizeof header.name, name);
        std::memcpy(bytes.data(), &header, kHeaderSize);
        if (!ReplaceFileContents(file, bytes.data(), bytes.size())) step = "WriteFile";
    }
    if (step == nullptr) return true;
    call.Log(msg::kHeaderStep, call.function(), step, file.c_str(), static_cast<int>(win::GetLastError()));
    return false;
}

bool PutRightKilledWriters(CallContext& call, const std::string& dir, std::string_view name) {
    const std::string building = CommitLeftover(dir, false);
    const std::string aside = CommitLeftover(dir, true);
    const bool built = Exists(building);
    if (Exists(aside)) {
        // The new JobGen still beside the name: it never went in, and the old one goes back.
        if (built && !Exists(dir)) {
            if (win::MoveFile(aside.c_str(), dir.c_str()) == 0) {
                call.Log(msg::kPutBack, call.function(), aside.c_str(), dir.c_str(), static_cast<int>(win::GetLastError()));
                return false;
            }
        } else if (gaiCOMDirectoryDeleteRetry(aside.c_str(), 300, 11) != 0) {
            call.Log(msg::kLeftover, call.function(), aside.c_str(), static_cast<int>(win::GetLastError()));
        }
    }
    if (built && gaiCOMDirectoryDeleteRetry(building.c_str(), 300, 11) != 0)
        call.Log(msg::kLeftover, call.function(), building.c_str(), static_cast<int>(win::GetLastError()));

    // No JobGen there, or one the open is to report as unreadable: nothing to name.
    const std::string file = dir + "\\" + kJobGenFile;
    std::vector<uint8_t> bytes;
    if (ReadStored(file, false, bytes) != nullptr || SameName(bytes, name)) return true;
    if (ReadStored(file, true, bytes) != nullptr) return true;
    bytes = {};  // read again there: one copy in memory at a time
    return NameStoredHeader(call, dir, name);
}

}  // namespace qvp::jobgen

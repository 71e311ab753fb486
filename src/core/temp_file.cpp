#include "core/temp_file.h"

#include <cstdio>

namespace qvp {
namespace {

constexpr int kNameTries = 16;
constexpr size_t kNameDigits = 16;  // the random part: "%016llx"

}  // namespace

TempFile::~TempFile() {
    if (!placed_) Discard();
}

bool TempFile::Create(const std::string& target, const char* suffix, win::DWORD access, bool hidden) {
    target_ = target;
    const size_t cut = target.find_last_of("\\/");
    const std::string base =
        !hidden ? target : cut == std::string::npos ? "." + target : target.substr(0, cut + 1) + "." + target.substr(cut + 1);
    for (int i = 0; i < kNameTries; ++i) {
        // A random part: nobody can plant a link at the name in advance.
        char part[kNameDigits + 8];
        std::snprintf(part, sizeof part, ".%016llx", static_cast<unsigned long long>(win::RandomNumber()));
        path_ = base + part + suffix;
        handle.Reset(win::CreateFile(path_.c_str(), access, 0, nullptr, win::CREATE_NEW,
                                     win::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle.valid()) return true;
        if (win::GetLastError() != win::ERROR_FILE_EXISTS) break;
    }
    path_.clear();
    return false;
}

bool TempFile::Place() {
    if (!handle.Close()) return false;
    // One rename: the target is the old file or the new one, never missing.
    if (!win::MoveFileEx(path_.c_str(), target_.c_str(), win::MOVEFILE_REPLACE_EXISTING)) return false;
    placed_ = true;
    return true;
}

bool TempFile::PlaceNew() {
    if (!handle.Close()) return false;
    if (!win::MoveFile(path_.c_str(), target_.c_str())) return false;
    placed_ = true;
    return true;
}

void TempFile::Discard() {
    handle.Reset();
    if (!path_.empty()) {
        const win::DWORD err = win::GetLastError();
        win::DeleteFile(path_.c_str());
        win::SetLastError(err);
    }
    path_.clear();
}

bool IsTempNameOf(std::string_view name, std::string_view targetName, std::string_view suffix) {
    if (name.size() != targetName.size() + 1 + kNameDigits + suffix.size() || !name.starts_with(targetName) ||
        name[targetName.size()] != '.' || !name.ends_with(suffix))
        return false;
    return name.substr(targetName.size() + 1, kNameDigits).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool ReplaceFileContents(const std::string& target, const void* bytes, size_t size) {
    TempFile temp;
    if (!temp.Create(target, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE)) return false;
    win::DWORD written = 0;
    if (!win::WriteFile(temp.handle.get(), bytes, static_cast<win::DWORD>(size), &written, nullptr) ||
        written != size) {
        if (win::GetLastError() == 0) win::SetLastError(win::ERROR_DISK_FULL);
        return false;
    }
    return temp.Place();
}

}  // namespace qvp

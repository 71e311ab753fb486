#include "support/fault_steps.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace qvptest {

namespace fs = std::filesystem;

FileTree ReadTree(const fs::path& root, const std::vector<std::string>& skip) {
    FileTree tree;
    if (!fs::exists(root)) return tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = fs::relative(it->path(), root).generic_string();
        if (it.depth() == 0 && std::find(skip.begin(), skip.end(), rel) != skip.end()) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory()) {
            tree[rel + "/"] = {};
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            tree[rel] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

std::string TreeDifference(const FileTree& a, const FileTree& b) {
    std::string out;
    for (const auto& [path, bytes] : a) {
        auto other = b.find(path);
        if (other == b.end()) out += " -" + path;
        else if (other->second != bytes) out += " ~" + path;
    }
    for (const auto& [path, bytes] : b)
        if (a.count(path) == 0) out += " +" + path;
    return out;
}

const std::vector<FaultKind>& FileFaultKinds() {
    using win::fault::Call;
    static const std::vector<FaultKind> kinds = {
        {Call::CreateFile, win::ERROR_SHARING_VIOLATION, "CreateFile"},
        {Call::ReadFile, win::ERROR_LOCK_VIOLATION, "ReadFile"},
        {Call::WriteFile, win::ERROR_DISK_FULL, "WriteFile"},
        {Call::SetFilePointer, win::ERROR_INVALID_PARAMETER, "SetFilePointer"},
        {Call::SetEndOfFile, win::ERROR_DISK_FULL, "SetEndOfFile"},
        {Call::LockFile, win::ERROR_LOCK_VIOLATION, "LockFile"},
        {Call::MoveFile, win::ERROR_ACCESS_DENIED, "MoveFile"},
        {Call::DeleteFile, win::ERROR_SHARING_VIOLATION, "DeleteFile"},
        {Call::CreateDirectory, win::ERROR_ACCESS_DENIED, "CreateDirectory"},
        {Call::FindFirstFile, win::ERROR_ACCESS_DENIED, "FindFirstFile"},
        {Call::FindNextFile, win::ERROR_ACCESS_DENIED, "FindNextFile"},
    };
    return kinds;
}

unsigned WalkFailureSteps(const FaultKind& kind, std::string_view filter,
                          const std::function<void()>& prepare, const std::function<int()>& action,
                          const std::function<void(const FailureStep&)>& check) {
    prepare();
    win::fault::Watch(filter);
    action();
    const unsigned calls = win::fault::Calls(kind.call);
    win::fault::Reset();
    for (unsigned step = 1; step <= calls; ++step) {
        prepare();
        win::fault::Watch(filter);
        win::fault::FailNth(kind.call, step, kind.error);
        const int result = action();
        const uint32_t code = win::GetLastError();
        win::fault::Reset();
        check(FailureStep{step, result, code});
    }
    return calls;
}

}  // namespace qvptest

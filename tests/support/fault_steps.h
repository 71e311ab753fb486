// Walking a writer's failure steps with the platform layer's failure injection: a clean run
// counts the calls of one kind, then each of those calls fails in turn on a fresh store.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win.h"

namespace qvptest {

// Every file below `root` with its bytes, and every folder (as "<path>/" with no bytes); the
// folders named in `skip` (logs, lock files) left out.
using FileTree = std::map<std::string, std::string>;
FileTree ReadTree(const std::filesystem::path& root,
                  const std::vector<std::string>& skip = {"LOG", "RUN"});
// The paths whose presence or bytes differ, for a failure message.
std::string TreeDifference(const FileTree& a, const FileTree& b);

struct FaultKind {
    win::fault::Call call;
    win::DWORD error;  // what a real failure of the call brings
    const char* name;
};
// The kinds a file writer meets.
const std::vector<FaultKind>& FileFaultKinds();

struct FailureStep {
    unsigned step;  // which call of the kind failed, from 1
    int result;
    uint32_t code;  // last error after the call
};
// `prepare` lays out a fresh store; `action` runs the writer and returns its result. The clean
// run counts the calls of `kind` whose path holds `filter`; then each is failed once, and
// `check` sees the outcome. Returns the number of calls counted.
unsigned WalkFailureSteps(const FaultKind& kind, std::string_view filter,
                          const std::function<void()>& prepare, const std::function<int()>& action,
                          const std::function<void(const FailureStep&)>& check);

}  // namespace qvptest

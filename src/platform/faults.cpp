// Failure injection for tests: the Nth call of a kind fails with a chosen error.
#include "platform/win.h"

#ifdef QVP_FAULT_INJECTION

#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace win::fault {

namespace {

constexpr size_t kCalls = static_cast<size_t>(Call::Count);

struct Plan {
    unsigned nth = 0;  // 0: not armed
    DWORD error = 0;
};

struct State {
    std::array<unsigned, kCalls> counted{};
    unsigned total = 0;  // counted calls of every kind
    std::array<Plan, kCalls> plans{};
    unsigned exitAt = 0;  // 0: not armed; else the count of exitKind that ends the process
    Call exitKind = Call::Count;
    std::string filter;
    std::vector<std::pair<std::string, uint64_t>> sizes;
    std::vector<uint64_t> randoms;  // given back first to last
    std::function<void(const std::string&)> listed;
    bool active = false;  // anything armed, watched or reported: the hooks' fast exit
    unsigned pauses = 0;
};

thread_local State t_state;
thread_local bool t_skipPauses = false;

}  // namespace

void FailNth(Call call, unsigned nth, DWORD error) {
    const auto i = static_cast<size_t>(call);
    t_state.plans[i] = Plan{t_state.counted[i] + nth, error};
    t_state.active = true;
}

void ExitAtNth(unsigned nth, Call call) {
    t_state.exitKind = call;
    t_state.exitAt = Calls(call) + nth;
    t_state.active = true;
}

void Watch(std::string_view filter) {
    t_state.counted.fill(0);
    t_state.total = 0;
    t_state.plans.fill(Plan{});
    t_state.filter.assign(filter);
    t_state.active = true;
}

unsigned Calls(Call call) {
    return call == Call::Count ? t_state.total : t_state.counted[static_cast<size_t>(call)];
}

void ReportSize(std::string_view name, uint64_t size) {
    t_state.sizes.emplace_back(std::string(name), size);
    t_state.active = true;
}

void GiveRandomNumbers(std::vector<uint64_t> values) {
    t_state.randoms.assign(values.rbegin(), values.rend());
    t_state.active = true;
}

void OnListed(std::function<void(const std::string& folder)> hook) {
    t_state.listed = std::move(hook);
    t_state.active = true;
}

void Listed(const std::string& folder) {
    if (!t_state.active || !t_state.listed) return;
    // A copy: the hook may end itself.
    auto hook = t_state.listed;
    hook(folder);
}

void Reset() { t_state = State{}; }

void SkipPauses(bool on) { t_skipPauses = on; }
bool PausesSkipped() { return t_skipPauses; }
unsigned Pauses() { return t_state.pauses; }
void Paused() { ++t_state.pauses; }

bool TakeRandomNumber(uint64_t* value) {
    if (!t_state.active || t_state.randoms.empty()) return false;
    *value = t_state.randoms.back();
    t_state.randoms.pop_back();
    return true;
}

bool Hit(Call call, std::string_view path) {
    State& s = t_state;
    if (!s.active) return false;
    if (!s.filter.empty() && path.find(s.filter) == std::string_view::npos) return false;
    const auto i = static_cast<size_t>(call);
    const unsigned n = ++s.counted[i];
    ++s.total;
    if (s.exitAt != 0) {
        const bool counts = s.exitKind == Call::Count || s.exitKind == call;
        if (counts && (s.exitKind == Call::Count ? s.total : n) == s.exitAt) _exit(kKilledExit);
    }
    if (s.plans[i].nth == 0 || n != s.plans[i].nth) return false;
    s.plans[i].nth = 0;
    SetLastError(s.plans[i].error);
    return true;
}

void AdjustFindData(WIN32_FIND_DATAA* data) {
    if (!t_state.active || data == nullptr) return;
    for (const auto& [name, size] : t_state.sizes) {
        if (std::strncmp(data->cFileName, name.c_str(), sizeof data->cFileName) != 0) continue;
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    }
}

}  // namespace win::fault

#endif

// Settings getters: every value is a text of the library's section of the settings cache, read
// at every call with its default and bounds.
#include "core/settings.h"

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>

#include "core/block.h"
#include "core/fileutil.h"
#include "core/log.h"
#include "platform/win.h"

namespace {

constexpr const char* kPathName = win::kInstallRootSetting;
constexpr const char* kPathNameDefault = win::kInstallRootDefault;
constexpr const char kResourcePathName[] = "ResourcePathName";
constexpr const char kResourceTail[] = "\\SERVER\\ZARNQV\\RESOURCE";
constexpr const char kIdSyncOption[] = "IdSyncOption";
constexpr const char kGuidUseStatus[] = "GuidUseStatus";
constexpr const char kRdbOption[] = "RdbOption";
constexpr const char kSystemManagementKey[] = "SystemManagementKey";
constexpr const char kConnectRetryCount[] = "ConnectRetryCount";
constexpr const char kLogGenCount[] = "LogGenCount";
constexpr const char kReceiveTimeout[] = "ReceiveTimeout";
constexpr int kReceiveTimeoutDefault = 600;
constexpr int kReceiveTimeoutMax = 2147483;  // seconds whose milliseconds still fit an int
// Per log, after the stem of its file name (DLL for DLL.LOG): read by the log's configuration.
constexpr const char* kLogSettingTails[] = {"LogRecordSize", "LogRecordCount"};
constexpr size_t kPathBuffer = win::MAX_PATH;
constexpr const char kLogTag[] = "dll";
constexpr const char kRootMade[] = "install root %s did not exist; made it: a new, empty store";

void CopyOut(const std::string& value, char* buffer) {
    if (buffer == nullptr) return;
    std::snprintf(buffer, kPathBuffer, "%s", value.c_str());
}

// Unusable values, reported to the event log when first met and kept for DLL.LOG.
struct ValueProblems {
    std::mutex mutex;
    std::set<std::string> reported;  // "Name=Value"
    std::vector<std::string> pending;
};

ValueProblems& Problems() {
    static auto* problems = new ValueProblems;  // used until the last thread has ended
    return *problems;
}

// A value read while the thread's session has DLL.LOG open is said there at once (with whatever
// else waits); otherwise the next DLL.LOG opened takes it.
void LogIfOpen() {
    const QVPAPI* block = qvpPeekThreadBlock();
    if (block == nullptr || block->dllLogId == 0) return;
    for (const std::string& problem : qvpTakeSettingsProblems()) qvpLogWrite(block->dllLogId, problem.c_str(), kLogTag);
}

// Once for each name and value.
void Report(const char* name, const std::string& value, const std::string& why) {
    const std::string text = "settings file " + win::registry::ConfigPath() + ": " + name + "=" + value + why;
    {
        ValueProblems& problems = Problems();
        std::lock_guard lock(problems.mutex);
        if (!problems.reported.insert(std::string(name) + "=" + value).second) return;
        problems.pending.push_back(text);
    }
    win::ReportEvent(win::EVENTLOG_WARNING_TYPE, 0, text);
    LogIfOpen();
}

void ReportUnusable(const char* name, const std::string& value, int defaultValue, int minValue, int maxValue) {
    Report(name, value,
           " is no number from " + std::to_string(minValue) + " to " + std::to_string(maxValue) + "; " +
               std::to_string(defaultValue) + " is used");
}

bool IsYes(const std::optional<std::string>& value) {
    return value && win::CharUpper(*value) == "YES";
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Every name of the library section that a getter reads; any other is reported by the load.
bool IsLibrarySetting(std::string_view name) {
    for (const char* known : {kPathName, kResourcePathName, kIdSyncOption, kGuidUseStatus, kRdbOption,
                              kSystemManagementKey, kConnectRetryCount, kLogGenCount, kReceiveTimeout})
        if (SameName(name, known)) return true;
    for (int logId = 1; const char* file = qvpLogFileName(logId); ++logId) {
        const std::string_view stem(file, std::strcspn(file, "."));
        for (const char* tail : kLogSettingTails)
            if (name.size() == stem.size() + std::strlen(tail) && SameName(name.substr(0, stem.size()), stem) &&
                SameName(name.substr(stem.size()), tail))
                return true;
    }
    return false;
}

// The first DLL.LOG record of a program: which settings file was read (or why none was) and
// the install root they give, as the path on this machine.
std::string SettingsInUse() {
    const std::string file = win::registry::ConfigPath();
    const int error = win::registry::ConfigError();
    const std::string read = error == 0 ? "settings file " + file + " read"
                                        : "no settings file read (" + file + ": " + std::strerror(error) + ")";
    return read + "; install root " + win::InstallRoot();
}

}  // namespace

void qvpLoadSettings() { win::registry::Load(IsLibrarySetting); }

std::string qvpMakeMissingRoot() {
    std::string root = qvpPathName();
    while (root.size() > 1 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    if (win::GetFileAttributes(root.c_str()) != win::INVALID_FILE_ATTRIBUTES) return {};
    // The folders above are the administrator's (links among them are followed): whatever of
    // them is missing, a drive path's drive folder too, is made as the root is, along the root as
    // a path of this machine. Only the root itself is said to be made, by the one caller whose
    // making it succeeded.
    const std::string onDisk = win::InstallRoot();
    if (const size_t cut = win::FindLastSeparator(onDisk); cut != std::string::npos && cut > 0)
        qvpCreateDirectoryTree(onDisk.substr(0, cut).c_str());
    if (win::CreateDirectory(root.c_str(), nullptr) == 0) return {};
    char text[sizeof kRootMade + win::MAX_PATH * 4];
    std::snprintf(text, sizeof text, kRootMade, win::InstallRoot().c_str());
    win::ReportEvent(win::EVENTLOG_WARNING_TYPE, 0, text);
    return text;
}

std::optional<std::string> qvpRegGetText(const char* name) {
    qvpLoadSettings();
    return win::registry::Get(name);
}

std::string qvpPathName() {
    auto value = qvpRegGetText(kPathName);
    return value && !value->empty() ? *value : std::string(kPathNameDefault);
}

void qvpRegGetPathName(char* buffer) { CopyOut(qvpPathName(), buffer); }

void qvpRegGetResourcePathName(char* buffer) {
    auto value = qvpRegGetText(kResourcePathName);
    CopyOut(value && !value->empty() ? *value : qvpPathName() + kResourceTail, buffer);
}

int qvpRegGetIdSyncOption() { return IsYes(qvpRegGetText(kIdSyncOption)) ? 1 : 0; }
int qvpRegGetGuidUseStatus() { return IsYes(qvpRegGetText(kGuidUseStatus)) ? 1 : 0; }

int qvpRegSetGuidUseStatus(int flag) {
    qvpLoadSettings();
    win::registry::Set(kGuidUseStatus, flag != 0 ? "YES" : "NO");
    LogIfOpen();  // a settings file the write-back will make
    return 1;
}

int qvpRegGetRdbOption() {
    auto value = qvpRegGetText(kRdbOption);
    return value && !value->empty() && (*value)[0] == '1' ? 1 : 0;
}

uint8_t qvpRegGetSystemManagementKey() {
    const int key = qvpRegGetInt(kSystemManagementKey, 0, 0, 255);
    // Kept as it is, so that node calls refuse it, but said at once: the refusals name no setting.
    if (key > 1)
        Report(kSystemManagementKey, qvpRegGetText(kSystemManagementKey).value_or(""),
               " is neither 0 (host names) nor 1 (IPv4 addresses); node calls are refused");
    return static_cast<uint8_t>(key);
}

int qvpRegGetConnectRetryCount() { return qvpRegGetInt(kConnectRetryCount, 3, 0, 1000); }
int qvpRegGetLogGenCount() { return qvpRegGetInt(kLogGenCount, 3, 1, 99); }
int qvpRegGetReceiveTimeout() {
    return qvpRegGetInt(kReceiveTimeout, kReceiveTimeoutDefault, 0, kReceiveTimeoutMax);
}

int qvpRegGetInt(const char* name, int defaultValue, int minValue, int maxValue) {
    auto value = qvpRegGetText(name);
    if (!value || value->empty()) return defaultValue;
    const char* text = value->c_str();
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    while (end != nullptr && *end == ' ') ++end;
    if (end == text || (end != nullptr && *end != '\0') || number < minValue || number > maxValue) {
        ReportUnusable(name, *value, defaultValue, minValue, maxValue);
        return defaultValue;
    }
    return static_cast<int>(number);
}

std::vector<std::string> qvpTakeSettingsProblems() {
    qvpLoadSettings();
    std::vector<std::string> out;
    // Once a program: a forked child shares its parent's settings and, once told, its record.
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) out.push_back(SettingsInUse());
    for (std::string& problem : win::registry::TakeProblems()) out.push_back(std::move(problem));
    ValueProblems& problems = Problems();
    std::lock_guard lock(problems.mutex);
    out.insert(out.end(), problems.pending.begin(), problems.pending.end());
    problems.pending.clear();
    return out;
}

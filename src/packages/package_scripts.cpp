// A package's script file handed to the store for a job: the checked front end of the record
// layer's script placement.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/frame.h"
#include "packages/package_args.h"
#include "platform/win.h"
#include "records/records.h"

namespace {

using qvp::CallContext;
using namespace qvp::packages;

constexpr qvp::FrameTexts kCreateFrame{"qvAPICreateScriptFile"};
constexpr size_t kDottedMax = 62;

namespace msg {
constexpr char kLength[] = "%s : Logical Error : Path Name Len";
constexpr char kJobName[] = "%s : Logical Error : Job Name is INVALID";
}  // namespace msg

// A job name names a place below the JobGen root: no part of it may be "." or "..".
bool JobNameStaysBelow(std::string_view name) {
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(win::FindFirstSeparator(name, start), name.size());
        const std::string_view part = name.substr(start, end - start);
        if (part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPICreateScriptFile(const char* lpJobName, const char* lpQvCode, const char* lpCabinetId,
                                                   const char* lpPackageId, const char* lpPackageVersion,
                                                   const char* lpPackageNo, const char* lpScriptFilePath) {
    return qvp::RunApi(kCreateFrame, 0, [&](CallContext& call) {
        const KeyArguments key{lpCabinetId, lpPackageId, lpPackageVersion, lpPackageNo};
        if (!KeyTextsGiven(call, key) || !KeyTextsNotEmpty(call, key)) return 0;
        const std::string job = lpJobName == nullptr ? "" : lpJobName;
        const std::string script = lpScriptFilePath == nullptr ? "" : lpScriptFilePath;
        const std::string dotted = DottedPackageName(KeyOf(lpQvCode == nullptr ? 'D' : *lpQvCode, key));
        if (job.size() > kPathMax || script.size() > kPathMax || dotted.size() > kDottedMax)
            return static_cast<int>(Refuse(call, msg::kLength));
        if (!JobNameStaysBelow(job)) return static_cast<int>(Refuse(call, msg::kJobName));
        if (qvpAPIPutScriptFile(&call.block(), job.c_str(), dotted.c_str(), script.c_str())) return 1;
        call.Fail(qvAPIGetLastError());
        return 0;
    });
}

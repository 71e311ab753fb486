// Script files placed for a package, and removal of a stored JobGen's directory.
#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/fileutil.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/settings.h"
#include "platform/win.h"
#include "records/access.h"
#include "records/keys.h"
#include "records/log_texts.h"
#include "records/records.h"

using namespace qvp::records;
namespace text = qvp::records::logtext;

namespace {

constexpr size_t kPathMax = win::MAX_PATH;

}  // namespace

int qvpAPIPutScriptFile(QVPAPI* block, const char* jobName, const char* dottedName,
                        const char* scriptPath) {
    if (block == nullptr) return 0;
    if (dottedName == nullptr || *dottedName == '\0' || scriptPath == nullptr || *scriptPath == '\0') {
        FailParameter(*block);
        return 0;
    }
    const QVAPI_PACKAGE* record = qvpAPIFindAttr(block, dottedName);
    if (record == nullptr) {
        qvpDllLog(text::kPutScriptFindAttr, text::kPutScriptFile, dottedName);
        return 0;
    }
    std::string fileId;
    const bool named = ResourceFileId(*record, 'Q', fileId);
    qvpAPIFrls(block, 'A');
    if (!named) {
        FailCode(*block, QVAPI_ERR_UNEXPECTED_DATA);
        return 0;
    }
    std::string directory;
    if (jobName != nullptr && *jobName != '\0') {
        directory = qvp::PathOf(qvpMakeMngflJobGenPath);
        if (*jobName != '\\') directory += '\\';
        directory += jobName;
    } else {
        directory = qvp::PathOf(qvpRegGetResourcePathName);
    }
    const std::string target = directory + '\\' + fileId;
    if (target.size() >= kPathMax) {
        FailCode(*block, QVAPI_ERR_PATH_TOO_LONG);
        return 0;
    }
    if (!win::CopyFile(scriptPath, target.c_str(), win::FALSE)) {
        qvpDllLog(text::kPutScriptCopy, text::kPutScriptFile, scriptPath, target.c_str(),
                  static_cast<int>(win::GetLastError()));
        FailCode(*block, QVAPI_ERR_RESOURCE);
        return 0;
    }
    return 1;
}

int qvpAPIDeleteJobGen(QVPAPI* block, const char* jobGenPath) {
    if (block == nullptr) return 0;
    if (jobGenPath == nullptr || jobGenPath[0] != '\\' || jobGenPath[1] == '\0') {
        qvpDllLog(text::kDeleteJobGenParameter, text::kDeleteJobGen);
        FailParameter(*block);
        return 0;
    }
    const std::string directory = qvp::PathOf(qvpMakeMngflJobGenPath) + jobGenPath;
    if (directory.size() >= kPathMax) {
        FailCode(*block, QVAPI_ERR_PATH_TOO_LONG);
        return 0;
    }
    if (gaiCOMDirectoryClearAll(directory.c_str()) != 0) {
        qvpDllLog(text::kDeleteJobGenClear, text::kDeleteJobGen, directory.c_str(),
                  static_cast<int>(win::GetLastError()));
        FailCode(*block, QVAPI_ERR_RESOURCE);
        return 0;
    }
    if (!win::RemoveDirectory(directory.c_str())) {
        qvpDllLog(text::kDeleteJobGenRemove, text::kDeleteJobGen, directory.c_str(),
                  static_cast<int>(win::GetLastError()));
        FailCode(*block, QVAPI_ERR_RESOURCE);
        return 0;
    }
    return 1;
}

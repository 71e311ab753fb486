// Script-package wrappers over the archive reader and writer.
#include <string>

#include "client/ar/archiver.h"
#include "client/ar/far.h"
#include "client/ar/swpkg.h"
#include "client/ar/unarchive.h"
#include "core/handles.h"
#include "platform/win.h"

namespace {

constexpr char kTag[] = "swpkg";
constexpr char kUnpackFailed[] = "qvparCreateUnarcFile_ERROR:ON_qvpSwpStartCangeQFile";
constexpr char kListFailed[] = "FindFirstFile_ERROR:ON_qvpSwpScriptPackaging";
constexpr char kPackFailed[] = "qvparCreateArcFile_ERROR:ON_qvpSwpEndCangeQFile";
constexpr char kRemoveFailed[] = "qvpFarRemoveDirectry_ERROR:ON_qvpSwpEndCangeQFile";

// The folder's entry names, each followed by a NUL, however many there are.
bool ListEntries(const std::string& folder, std::string* names, int* count) {
    const std::string pattern = folder + (qvpIsPosixPath(folder) ? "/" : "\\") + "*.*";
    win::WIN32_FIND_DATAA data{};
    qvp::FindWalk find(pattern, data);
    if (!find.valid()) return false;
    names->clear();
    *count = 0;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        names->append(name);
        names->push_back('\0');
        ++*count;
    } while (find.Next(data));
    return true;
}

}  // namespace

int qvpSwpStartCangeQFile(const char* archivePath, const char* outputFolder) {
    if (qvparMain(archivePath, outputFolder, 0) != 0) {
        QvpClientLog log;
        log.Write(kTag, "%s", kUnpackFailed);
        return -1;
    }
    return 0;
}

int qvpSwpEndCangeQFile(const char* folder, const char* archivePath) {
    QvpClientLog log;
    std::string names;
    int count = 0;
    if (folder == nullptr || !ListEntries(folder, &names, &count)) {
        log.Write(kTag, "%s", kListFailed);
        return -1;
    }
    // An empty folder gives an empty list: one empty name, the folder itself.
    names.push_back('\0');
    if (qvpcarCreateArcFile(folder, names.data(), count, 0, nullptr, archivePath, 0) != 0) {
        log.Write(kTag, "%s", kPackFailed);
        return -1;
    }
    if (qvpFarRemoveDirectry(folder) != 0) {
        log.Write(kTag, "%s", kRemoveFailed);
        return -1;
    }
    return 0;
}

#include "packages/package_args.h"

#include <array>

#include "core/handles.h"
#include "core/text.h"
#include "platform/win.h"
#include "records/records.h"

namespace qvp::packages {

using qvp::FileHandle;

namespace {

constexpr char kPointerNull[] = "%s : Logical Error : %s Pointer is NULL";
constexpr char kTopNull[] = "%s : Logical Error : Top of %s is NULL";
// Every package function refuses a bad QvCode under the cabinet finder's name.
constexpr char kQvCodeCheckName[] = "qvAPIFindCabinet";
constexpr char kQvCodeInvalid[] = "%s : Logical Error : QvCode is Invalid";
constexpr char kLogical[] = "%s : Logical Error : %s";

struct Named {
    const char* text;
    const char* name;
};

// The names as the logs spell them.
auto Texts(const KeyArguments& key) {
    return std::array<Named, 4>{Named{key.cabinet, "CabinetId"}, Named{key.package, "PackagetId"},
                                Named{key.version, "PackageVersion"}, Named{key.generation, "PackageNo"}};
}

}  // namespace

bool LogicalError(CallContext& call, const char* what) {
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kLogical, call.function(), what);
}

bool Refuse(CallContext& call, const char* text, uint32_t code) {
    return call.Failed(code, text, call.function());
}

bool FindHandleValid(CallContext& call, const void* handle) {
    if (qvpIsOwnBlock(handle)) return true;
    call.Fail(QVAPI_ERR_INVALID_HANDLE);
    return false;
}

int CloseFind(CallContext& call, const void* handle, char kind) {
    return FindHandleValid(call, handle) ? qvpAPIFrls(&call.block(), kind) : 0;
}

FileHandle OpenForReading(const char* path) {
    return FileHandle(win::CreateFile(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadRecordFile(CallContext& call, const char* path, QVAPI_PACKAGE& record, const char* openText,
                    const char* readText, const char* closeText) {
    FileHandle file = OpenForReading(path);
    if (!file.valid()) {
        return call.Failed(QVAPI_ERR_NO_MORE_ITEMS,
                           openText, call.function(), path, win::GetLastError());
    }
    win::DWORD got = 0;
    if (!win::ReadFile(file.get(), &record, sizeof record, &got, nullptr) || got != sizeof record) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           readText, call.function(), path, win::GetLastError());
    }
    if (!file.Close() && closeText != nullptr) {
        return call.Failed(QVAPI_ERR_RESOURCE,
                           closeText, call.function(), path, win::GetLastError());
    }
    return true;
}

bool KeyTextsGiven(CallContext& call, const KeyArguments& key) {
    for (const Named& n : Texts(key)) {
        if (n.text != nullptr) continue;
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kPointerNull, call.function(), n.name);
    }
    return true;
}

bool KeyTextsNotEmpty(CallContext& call, const KeyArguments& key) {
    for (const Named& n : Texts(key)) {
        if (n.text[0] != '\0') continue;
        return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kTopNull, call.function(), n.name);
    }
    return true;
}

bool PackageQvCodeValid(CallContext& call, char qvCode) {
    if (qvpIsValidQvCode(static_cast<unsigned char>(qvCode))) return true;
    return call.Failed(QVAPI_ERR_INVALID_PARAMETER, kQvCodeInvalid, kQvCodeCheckName);
}

PackageKeyTexts KeyOf(char qvCode, const KeyArguments& key) {
    return PackageKeyTexts{qvCode, key.cabinet, key.package, key.version, key.generation};
}

}  // namespace qvp::packages

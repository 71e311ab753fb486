// Package lists: the manager lays a package's list down chunk by chunk as .LIST files in the
// work tree ("RGET"); the caller reads each chunk's 277-byte records through a file handle of
// its session. One list per session, its number kept in the block.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/byte_order.h"
#include "core/errors.h"
#include "core/frame.h"
#include "core/memory.h"
#include "core/settings.h"
#include "packages/package_args.h"
#include "packages/package_requests.h"
#include "session/message.h"

namespace {

using qvp::CallContext;
using qvp::FileHandle;
using qvp::FrameTexts;
using namespace qvp::packages;

namespace msg {
constexpr char kAlloc[] = "%s : malloc Error : %d";
constexpr char kSend[] = "%s : SendMsgError %s : ErrorCode = 0x%8.8x";
constexpr char kRecv[] = "%s : RecvMsgError %s : ErrorCode = 0x%8.8x";
constexpr char kCreateFile[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFile[] = "%s : ReadFile %s : ErrorCode = %d";
constexpr char kListName[] = "%s : Resource Name is INVALID";
}  // namespace msg

constexpr FrameTexts kCreateFrame{"qvAPICreatePackageList"};
constexpr FrameTexts kContinueFrame{"qvAPIContinuePackageList"};
constexpr FrameTexts kCloseFrame{"qvAPIClosePackageList"};
constexpr FrameTexts kFirstFrame{"qvAPIFindFirstPackageList"};
constexpr FrameTexts kNextFrame{"qvAPIFindNextPackageList"};
constexpr FrameTexts kFindCloseFrame{"qvAPIFindClosePackageList"};

constexpr int32_t kNoListDetail = 90;  // "16 90": the package has no list

// The list handle, from the session heap.
struct ListHandle {
    char resourceName[8];
    uint32_t firstCount;
    uint32_t secondCount;
    uint8_t more;  // 1: the manager has more chunks
};

struct ListFile {
    FileHandle file;
};

// What a session has open: its list handle and the file of the chunk being read.
struct SessionLists {
    ListHandle* list = nullptr;
    std::unique_ptr<ListFile> file;
};

std::mutex gMutex;
std::map<const QVPAPI*, SessionLists> gSessions;

void Release(QVPAPI& block) {
    std::lock_guard lock(gMutex);
    gSessions.erase(&block);  // the list handle goes with the session heap
}

SessionLists& Lists(const QVPAPI& block) {
    static std::once_flag once;
    std::call_once(once, [] { qvpRegisterSessionReleaseHook(&Release); });
    std::lock_guard lock(gMutex);
    return gSessions[&block];
}

// Sends one list request and checks the reply: its class 0 and, for create and continue, a
// detail of 0 (last chunk) or 1 (more follow). The parsed reply, or nothing after failing.
std::optional<request::ListReply> Exchange(CallContext& call, const qvp::RequestBuilder& request, bool create,
                                  bool chunk) {
    QVPAPI& block = call.block();
    const int length = qvpExchange(block, request, block.replyBuffer, sizeof block.replyBuffer);
    if (length < 0) {
        if (length == kQvpExchangeSendFailed)
            call.Log(msg::kSend, call.function(), request.Text().c_str(), win::GetLastError());
        call.Fail(QVAPI_ERR_RESOURCE);
        return std::nullopt;
    }
    qvp::qvAPISetErrorInfo(&block, kErrCategoryRecord, block.replyBuffer, 0, 0);
    const request::ListReply reply = request::ParseListReply(block.replyBuffer, static_cast<size_t>(length));
    uint32_t code = 0;
    if (reply.word[1] != 0 || !reply.present[1]) {
        bool set = false;
        code = qvpMapRecordedError(block, &set);
        if (create && reply.word[1] == 16 && reply.word[2] == kNoListDetail) code = QVAPI_ERR_FILE_NOT_FOUND;
        else if (!set) code = QVAPI_ERR_UNEXPECTED_DATA;
    } else if (chunk && reply.word[2] > 1) {
        code = QVAPI_ERR_UNEXPECTED_DATA;  // neither "last chunk" nor "more follow"
    }
    if (code != 0) {
        call.Log(msg::kRecv, call.function(), block.replyBuffer, code);
        call.Fail(code);
        return std::nullopt;
    }
    return reply;
}

ListHandle* LiveList(CallContext& call, QVPAPI_HANDLE handle) {
    ListHandle* list = Lists(call.block()).list;
    if (handle == nullptr || handle != list) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    return list;
}

ListFile* LiveFile(CallContext& call, QVPAPI_HANDLE handle) {
    ListFile* file = Lists(call.block()).file.get();
    if (handle == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    if (handle != file) {
        call.Fail(QVAPI_ERR_INVALID_HANDLE);
        return nullptr;
    }
    return file;
}

// Reads the next record of a chunk into the caller's record: 1, or 0 with 0x20000103 at the end
// of the file or 0x20100000 for an error or a partial record.
int ReadRecord(CallContext& call, ListFile& list, const char* path, QVAPI_PACKAGE_LIST* out) {
    unsigned char record[QVAPI_PACKAGE_LIST_RECORD_SIZE];
    win::DWORD got = 0;
    const bool read = win::ReadFile(list.file.get(), record, sizeof record, &got, nullptr) != 0;
    if (read && got == 0) {
        call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
        return 0;
    }
    if (!read || got != sizeof record) {
        call.Failed(QVAPI_ERR_RESOURCE,
                    msg::kReadFile, call.function(), path, static_cast<int>(win::GetLastError()));
        return 0;
    }
    std::memcpy(out, record, QVAPI_PACKAGE_LIST_SIZE);
    out->dwValue260 = qvp::be32(record + 260);
    return 1;
}

QVPAPI_HANDLE Create(CallContext& call, const QVAPI_PACKAGE* package, uint32_t* first, uint32_t* second) {
    if (package == nullptr || first == nullptr || second == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return QVPAPI_INVALID_HANDLE;
    }
    QVPAPI& block = call.block();
    if (block.packageListNumber != 0) {
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return QVPAPI_INVALID_HANDLE;
    }
    // Freed on every way out but success, so a bad reply leaves nothing behind.
    std::unique_ptr<ListHandle, void (*)(void*)> list(static_cast<ListHandle*>(qvpAPIAlloc(sizeof(ListHandle))),
                                                      qvpAPIFree);
    if (list == nullptr) {
        call.Failed(QVAPI_ERR_RESOURCE, msg::kAlloc, call.function(), 0);
        return QVPAPI_INVALID_HANDLE;
    }
    const std::string_view name(package->szResourceName, strnlen(package->szResourceName, 8));
    const std::optional<request::ListReply> reply = Exchange(call, request::RgetCreate(name), true, true);
    if (!reply) return QVPAPI_INVALID_HANDLE;
    if (reply->word[5] == 0) {  // no list number: no file this session could name
        call.Failed(QVAPI_ERR_UNEXPECTED_DATA,
                    msg::kRecv, call.function(), block.replyBuffer, QVAPI_ERR_UNEXPECTED_DATA);
        return QVPAPI_INVALID_HANDLE;
    }
    std::memcpy(list->resourceName, package->szResourceName, sizeof list->resourceName);
    list->firstCount = reply->word[7];
    list->secondCount = reply->word[9];
    list->more = reply->word[2] == 1 ? 1 : 0;
    block.packageListNumber = reply->word[5];
    *first = list->firstCount;
    *second = list->secondCount;
    Lists(block).list = list.get();
    return list.release();
}

QVPAPI_HANDLE FindFirst(CallContext& call, const QVAPI_PACKAGE* package, QVAPI_PACKAGE_LIST* out) {
    if (package == nullptr || out == nullptr) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return QVPAPI_INVALID_HANDLE;
    }
    QVPAPI& block = call.block();
    if (block.packageListNumber == 0) {
        call.Fail(QVAPI_ERR_UNEXPECTED_DATA);
        return QVPAPI_INVALID_HANDLE;
    }
    // The resource name names the file: the same check as the package's resource files.
    std::string name;
    if (!qvp::records::ResourceFileId(*package, package->szResourceName[0], name)) {
        call.Failed(QVAPI_ERR_UNEXPECTED_DATA, msg::kListName, call.function());
        return QVPAPI_INVALID_HANDLE;
    }
    const std::string path = qvpPathName() + "\\SERVER\\WORK\\RESOURCE\\" + std::to_string(block.packageListNumber) +
                             "\\" + name + ".LIST";
    if (path.size() > kPathMax) {
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        return QVPAPI_INVALID_HANDLE;
    }
    auto list = std::make_unique<ListFile>();
    list->file = FileHandle(win::CreateFile(path.c_str(), win::GENERIC_READ, 0, nullptr, win::OPEN_EXISTING,
                                            win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!list->file.valid()) {
        call.Failed(QVAPI_ERR_RESOURCE, msg::kCreateFile, call.function(), path.c_str(),
                    static_cast<int>(win::GetLastError()));
        return QVPAPI_INVALID_HANDLE;
    }
    if (!ReadRecord(call, *list, path.c_str(), out)) {
        call.Fail(QVAPI_ERR_RESOURCE);  // a chunk without a record is no list either
        return QVPAPI_INVALID_HANDLE;
    }
    SessionLists& lists = Lists(block);
    lists.file = std::move(list);  // a new walk replaces the session's earlier one
    return lists.file.get();
}

}  // namespace

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPICreatePackageList(const QVAPI_PACKAGE* lpPackage, uint32_t* lpFirstCount,
                                                              uint32_t* lpSecondCount, uint32_t, uint32_t) {
    return qvp::RunApi(kCreateFrame, QVPAPI_INVALID_HANDLE,
                       [&](CallContext& call) { return Create(call, lpPackage, lpFirstCount, lpSecondCount); });
}

extern "C" QVPAPI_EXPORT int qvAPIContinuePackageList(QVPAPI_HANDLE hPackageList, uint32_t* lpSecondCount, uint32_t,
                                                      uint32_t) {
    return qvp::RunApi(kContinueFrame, 0, [&](CallContext& call) {
        ListHandle* list = LiveList(call, hPackageList);
        if (list == nullptr) return 0;
        if (lpSecondCount == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        if (list->more == 0) {
            call.Fail(QVAPI_ERR_NO_MORE_ITEMS);
            return 0;
        }
        list->secondCount = 0;
        const std::optional<request::ListReply> reply = Exchange(call, request::RgetContinue(), false, true);
        if (!reply) return 0;
        list->secondCount = reply->word[9];
        list->more = reply->word[2] == 1 ? 1 : 0;
        *lpSecondCount = list->secondCount;
        return 1;
    });
}

extern "C" QVPAPI_EXPORT int qvAPIClosePackageList(QVPAPI_HANDLE hPackageList, uint32_t, uint32_t) {
    return qvp::RunApi(kCloseFrame, 0, [&](CallContext& call) {
        ListHandle* list = LiveList(call, hPackageList);
        if (list == nullptr || !Exchange(call, request::RgetClose(), false, false)) return 0;
        Lists(call.block()).list = nullptr;
        call.block().packageListNumber = 0;
        qvpAPIFree(list);
        return 1;
    });
}

extern "C" QVPAPI_EXPORT QVPAPI_HANDLE qvAPIFindFirstPackageList(const QVAPI_PACKAGE* lpPackage,
                                                                 QVAPI_PACKAGE_LIST* lpPackageList, uint32_t,
                                                                 uint32_t) {
    return qvp::RunApi(kFirstFrame, QVPAPI_INVALID_HANDLE,
                       [&](CallContext& call) { return FindFirst(call, lpPackage, lpPackageList); });
}

extern "C" QVPAPI_EXPORT int qvAPIFindNextPackageList(QVPAPI_HANDLE hFindPackageList,
                                                      QVAPI_PACKAGE_LIST* lpPackageList, uint32_t, uint32_t) {
    return qvp::RunApi(kNextFrame, 0, [&](CallContext& call) {
        if (lpPackageList == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        ListFile* list = LiveFile(call, hFindPackageList);
        return list == nullptr ? 0 : ReadRecord(call, *list, "", lpPackageList);
    });
}

extern "C" QVPAPI_EXPORT int qvAPIFindClosePackageList(QVPAPI_HANDLE hFindPackageList, uint32_t, uint32_t) {
    return qvp::RunApi(kFindCloseFrame, 0, [&](CallContext& call) {
        if (LiveFile(call, hFindPackageList) == nullptr) return 0;
        Lists(call.block()).file.reset();
        return 1;
    });
}

#include <cstring>
#include <string>
#include <string_view>

#include "core/handles.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/bounded_read.h"
#include "core/temp_file.h"
#include "idgroups/sysinfo.h"
#include "records/reply.h"
#include "records/requests.h"
#include "session/message.h"
#include "platform/byte_order.h"
#include "share/tcp/tcpsock.h"

namespace qvp::ids {

namespace {

namespace request = records::request;

constexpr char kRenameFunction[] = "qvpAPIChangeNameSysInf";
constexpr char kCreateFileError[] = "%s : CreateFile %s : ErrorCode = %d";
constexpr char kReadFileError[] = "%s : ReadFile Error : ErrorCode = %d";
constexpr char kWriteFileError[] = "%s : WrietFile Error : ErrorCode = %d";
constexpr char kRemoveError[] = "%s : remove Error : Code = %d";

constexpr size_t kEntryHead = 4;
constexpr size_t kFileHead = 88;
constexpr size_t kFileNameOffset = 12;
constexpr char kFilePrefix[] = "\\INV_";

std::string_view Text(const char* reply, size_t received) { return {reply, strnlen(reply, received)}; }

char At(std::string_view text, size_t i) { return i < text.size() ? text[i] : '\0'; }

// Sends one request and receives its reply into the reply buffer: its length, or -1 with the
// API code set (`transportCode`, or the transport's own when 0).
int Exchange(QVPAPI& block, const std::string& text, uint32_t transportCode = 0) {
    if (text.size() > kQvpFramePayloadMax) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return -1;
    }
    std::memset(block.replyBuffer, 0, sizeof block.replyBuffer);
    const int got = qvpExchangeText(block, text, block.replyBuffer);
    if (got < 0) {
        const uint32_t own = got == kQvpExchangeSendFailed ? QVAPI_ERR_TCP_SEND : QVAPI_ERR_TCP_RECV;
        qvAPISetLastError(transportCode != 0 ? transportCode : own);
    }
    return got;
}

uint8_t* Entry(QVPAPI& block, const std::string& text, SysInfStep step, size_t* length) {
    const int got = Exchange(block, text);
    if (got < 0) return nullptr;
    if (const uint32_t code = SysInfReplyCode(block.replyBuffer, static_cast<size_t>(got), step)) {
        qvAPISetLastError(code);
        return nullptr;
    }
    uint8_t* entry = ConvertSysInfEntry(block.replyBuffer, static_cast<size_t>(got), length);
    if (entry == nullptr) qvAPISetLastError(QVAPI_ERR_UNEXPECTED_DATA);
    return entry;
}

bool NameFits(const char* node) { return node != nullptr && strnlen(node, kSysInfNodeMax + 1) <= kSysInfNodeMax; }

// IDEL and IUPD: "0" done; "16 0" or "16 16" nothing stored; everything else a failure.
int Change(QVPAPI& block, const std::string& text) {
    const int got = Exchange(block, text, QVAPI_ERR_RESOURCE);
    if (got < 0) return 0;
    if (block.replyBuffer[0] == '0') return 1;
    int32_t first = 0, second = 0;
    qvpReplyWords(block.replyBuffer, static_cast<size_t>(got), &first, &second);
    qvAPISetLastError(first == 16 && (second == 0 || second == 16) ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_RESOURCE);
    return 0;
}

// INV_<node> of a name that stays inside its folder; empty (0x20000057) otherwise.
std::string InventoryFile(const char* node) {
    if (!NameFits(node) || node[0] == '\0' || std::strpbrk(node, "\\/") != nullptr) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return {};
    }
    return PathOf(qvpMakeSysInvPath) + kFilePrefix + node;
}

uint32_t FileFailure(win::DWORD error) {
    return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? QVAPI_ERR_NOT_FOUND
                                                                                     : QVAPI_ERR_RESOURCE;
}

int Fail(uint32_t code) {
    qvAPISetLastError(code);
    return 0;
}

// Opens the inventory file without sharing, as every writer opens it, and reads its head.
bool ReadInventoryHead(const std::string& path, FileHandle& file, char (&head)[kFileHead]) {
    file.Reset(win::CreateFile(path.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                               win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const win::DWORD error = win::GetLastError();
        if (FileFailure(error) == QVAPI_ERR_RESOURCE)
            qvpDllLog(kCreateFileError, kRenameFunction, path.c_str(), static_cast<int>(error));
        qvAPISetLastError(FileFailure(error));
        return false;
    }
    if (!ReadExact(file.get(), head, kFileHead)) {
        qvpDllLog(kReadFileError, kRenameFunction, static_cast<int>(win::GetLastError()));
        qvAPISetLastError(QVAPI_ERR_RESOURCE);
        return false;
    }
    return true;
}

// The file variant of the rename: the whole file under the new name (the name in its head
// replaced), put in place before the old one goes; on any failure the old file stays. What
// follows the head goes over piece by piece: an inventory of any size costs one buffer.
int RenameFile(const char* oldNode, const char* newNode) {
    const std::string oldPath = InventoryFile(oldNode);
    const std::string newPath = InventoryFile(newNode);
    if (oldPath.empty() || newPath.empty()) return 0;
    FileHandle file;
    char head[kFileHead];
    if (!ReadInventoryHead(oldPath, file, head)) return 0;
    if (oldPath == newPath) return 1;
    std::memset(head + kFileNameOffset, 0, kFileHead - kFileNameOffset);
    std::memcpy(head + kFileNameOffset, newNode, std::strlen(newNode));
    // An older file of the new name is replaced, as a rename onto it always did.
    TempFile temp;
    win::DWORD written = 0;
    bool readFailed = false;
    if (!temp.Create(newPath, ".tmp", win::GENERIC_READ | win::GENERIC_WRITE) ||
        !win::WriteFile(temp.handle.get(), head, kFileHead, &written, nullptr) || written != kFileHead ||
        !CopyRemaining(file.get(), temp.handle.get(), readFailed) || !temp.Place()) {
        qvpDllLog(readFailed ? kReadFileError : kWriteFileError, kRenameFunction, static_cast<int>(win::GetLastError()));
        return Fail(QVAPI_ERR_RESOURCE);
    }
    file.Reset();
    if (!win::DeleteFile(oldPath.c_str())) {
        qvpDllLog(kRemoveError, kRenameFunction, static_cast<int>(win::GetLastError()));
        return Fail(QVAPI_ERR_RESOURCE);
    }
    return 1;
}

}  // namespace

uint32_t SysInfReplyCode(const char* reply, size_t received, SysInfStep step) {
    const std::string_view text = Text(reply, received);
    if (At(text, 0) == '0') return 0;
    const bool class16 = At(text, 0) == '1' && At(text, 1) == '6';
    const bool none = class16 && At(text, 3) == '0';
    switch (step) {
        case SysInfStep::First:
            return class16 ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_UNEXPECTED_DATA;
        case SysInfStep::FirstNext:
        case SysInfStep::Close:
            return none ? QVAPI_ERR_NOT_FOUND : QVAPI_ERR_UNEXPECTED_DATA;
        case SysInfStep::Next: {
            if (none) return QVAPI_ERR_NO_MORE_ITEMS;
            int32_t first = 0, second = 0;
            qvpReplyWords(reply, received, &first, &second);
            return !class16 && first == 1 && second == 4 ? QVAPI_ERR_NO_MORE_ITEMS : QVAPI_ERR_UNEXPECTED_DATA;
        }
    }
    return QVAPI_ERR_UNEXPECTED_DATA;
}

uint8_t* ConvertSysInfEntry(char* reply, size_t received, size_t* length) {
    uint32_t itemLength = 0;
    auto* entry = reinterpret_cast<uint8_t*>(const_cast<char*>(qvpAPIGetFgetItem(reply, received, &itemLength)));
    if (entry == nullptr || itemLength < kEntryHead) return nullptr;
    const uint16_t dataLength = be16(entry + 2);
    if (kEntryHead + dataLength > itemLength) return nullptr;
    Be16ToHostInPlace(entry + 2);
    uint8_t* data = entry + kEntryHead;
    auto to16 = [&] {
        if (dataLength >= 2) Be16ToHostInPlace(data);
    };
    auto to32 = [&] {
        if (dataLength >= 4) Be32ToHostInPlace(data);
    };
    const uint8_t subtype = entry[1];
    switch (entry[0]) {
        case 1: case 7: to16(); break;
        case 5: case 49: case 50: case 51: case 55: case 81: case 84: case 85: case 99: case 136: case 162:
            to32();
            break;
        case 3: dataLength == 2 ? to16() : to32(); break;
        case 9: if (subtype == 1) to32(); break;
        case 26:
            if (subtype == 1 || subtype == 2 || subtype == 8) to16();
            else if (subtype == 16 || subtype == 17) to32();
            break;
        case 54: if (subtype <= 3) to32(); break;
        case 160: if (subtype != 2 && subtype != 3) to32(); break;
        case 165: if (subtype != 3 && subtype != 4) to32(); break;
        case 21: entry[0] = 18; break;
        default: break;
    }
    if (length != nullptr) *length = itemLength;
    return entry;
}

void CopySysInfEntry(QVAPI_SYSINFO_ENTRY& slot, const uint8_t* entry, size_t length) {
    const size_t n = length < sizeof slot ? length : sizeof slot;
    std::memcpy(&slot, entry, n);
    std::memset(reinterpret_cast<uint8_t*>(&slot) + n, 0, sizeof slot - n);
}

uint8_t* qvpAPIGetFirstSysInf(QVPAPI* block, const char* node, uint8_t type, uint8_t subtype, size_t* length) {
    if (block == nullptr) return nullptr;
    if (!NameFits(node)) {
        qvAPISetLastError(QVAPI_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    std::memset(block->sysInfoNodeName, 0, sizeof block->sysInfoNodeName);
    std::memcpy(block->sysInfoNodeName, node, std::strlen(node));
    if (type != 0) return Entry(*block, request::IgetEntry(node, type, subtype), SysInfStep::First, length);
    const int got = Exchange(*block, request::IgetStep(node, 'F'));
    if (got < 0) return nullptr;
    if (const uint32_t code = SysInfReplyCode(block->replyBuffer, static_cast<size_t>(got), SysInfStep::First)) {
        qvAPISetLastError(code);
        return nullptr;
    }
    return Entry(*block, request::IgetStep(node, 'N'), SysInfStep::FirstNext, length);
}

uint8_t* qvpAPIGetNextSysInf(QVPAPI* block, size_t* length) {
    if (block == nullptr) return nullptr;
    return Entry(*block, request::IgetStep(block->sysInfoNodeName, 'N'), SysInfStep::Next, length);
}

int qvpAPIGetCloseSysInf(QVPAPI* block) {
    if (block == nullptr) return 0;
    const int got = Exchange(*block, request::IgetStep(block->sysInfoNodeName, 'E'));
    if (got < 0) return 0;
    const uint32_t code = SysInfReplyCode(block->replyBuffer, static_cast<size_t>(got), SysInfStep::Close);
    return code == 0 ? 1 : Fail(code);
}

int qvpAPIDeleteSysInf(QVPAPI* block, const char* node) {
    if (block == nullptr) return 0;
    if (block->socket >= 0) {
        if (!NameFits(node)) return Fail(QVAPI_ERR_INVALID_PARAMETER);
        return Change(*block, request::Idel(node).Text());
    }
    const std::string path = InventoryFile(node);
    if (path.empty()) return 0;
    return win::DeleteFile(path.c_str()) ? 1 : Fail(FileFailure(win::GetLastError()));
}

int qvpAPIChangeNameSysInf(QVPAPI* block, const char* oldNode, const char* newNode) {
    if (block == nullptr) return 0;
    if (block->socket >= 0) {
        if (!NameFits(oldNode) || !NameFits(newNode)) return Fail(QVAPI_ERR_INVALID_PARAMETER);
        return Change(*block, request::Iupd(oldNode, newNode).Text());
    }
    return RenameFile(oldNode, newNode);
}

}  // namespace qvp::ids

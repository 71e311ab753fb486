// Node-name kinds and name checks.
#include "nodes/name_checks.h"

#include <cstring>
#include <string_view>

#include "core/frame.h"
#include "core/log.h"
#include "nodes/name_text.h"
#include "nodes/node_record.h"
#include "nodes/node_step.h"
#include "nodes/node_texts.h"
#include "platform/win.h"

namespace qvp::nodes {
namespace {

constexpr size_t kHostIdMax = 28;
constexpr size_t kExNameMax = 32;
constexpr size_t kPasswordMax = 14;
constexpr size_t kIpTextMax = 15;

const char* Shown(const char* text) { return text != nullptr ? text : "(null)"; }

bool IsNodeKind(uint32_t kind) {
    return kind == kNameClient || kind == kNameMaster || kind == kNameIdNode;
}

// Kind of a name, or 0 with the code set. Shared by the steps that need it without a second
// frame.
uint32_t NameKind(QVPAPI& block, const char* function, std::string_view name,
                  uint32_t rtnOption, uint32_t& code) {
    const int cls = HostIdClass(name);
    uint32_t kind = 0;
    if (cls >= 0) {
        if (cls == 'G') {
            kind = kKindHostIdG;
        } else if (cls == 'U') {
            kind = kKindHostIdU;
        } else if (cls == 'C') {
            kind = kKindHostIdC;
        } else if (rtnOption == 1) {
            return 2;
        } else {
            qvpDllLog(text::kNoHostIdKind, function);
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
    } else if (block.systemManagementKey == 0) {
        kind = kKindHostName;
    } else if (block.systemManagementKey == 1) {
        kind = kKindIpAddress;
    } else {
        qvpDllLog(text::kBadSystemKey, function);
        code = QVAPI_ERR_INVALID_PARAMETER;
        return 0;
    }
    if (rtnOption == 0) return kind;
    // A double-byte code page never holds the two-percent character that could move a
    // host-ID name out of its class here, so the kind alone decides.
    if (rtnOption == 1) return IsHostIdKind(kind) ? 1u : 2u;
    qvpDllLog(text::kBadRtnOption, function, static_cast<int>(rtnOption));
    code = QVAPI_ERR_INVALID_PARAMETER;
    return 0;
}

bool Refused(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

}  // namespace

NameCharacters NameCharactersCheck(std::string_view name, uint32_t kind) {
    if (name.empty()) return NameCharacters::Refused;
    const bool node = IsNodeKind(kind);
    if (node) {
        // Only single-byte letters, digits, punctuation and the blank make node names;
        // bytes from 0x80 that lead no character (half-width kana) are none of them.
        for (char ch : name) {
            unsigned char c = static_cast<unsigned char>(ch);
            if (win::IsDBCSLeadByte(c) || !(IsAsciiAlnum(c) || IsAsciiPunct(c) || c == ' '))
                return NameCharacters::NotNodeCharacter;
        }
    }
    const bool groupLike = kind == kNameNodeGroup || node;  // refuse ! % @
    const char first = name.front();
    bool bad = Refused(first, "\\/*\": ><.") || name.back() == '.' || (groupLike && first == '!') ||
               first == '|' || first == '?' || (groupLike && (first == '%' || first == '@'));
    if (!bad) {
        std::string inner = "\\/*\": ><|?";
        if (!node) inner += '.';
        if (groupLike) inner += "!%@";
        bad = FindAnyOf(name, inner) != std::string_view::npos;
    }
    return bad ? NameCharacters::Refused : NameCharacters::Valid;
}

bool StoredNameUsable(std::string_view name) {
    return name.size() <= kLongestNodeName && NameCharactersCheck(name, kNameClient) == NameCharacters::Valid;
}

}  // namespace qvp::nodes

using namespace qvp::nodes;

uint32_t qvp::nodes::qvAPIGetNodeNameType(const char* lpNodeName, uint32_t dwRtnOption, uint32_t,
                                          uint32_t) {
    static constexpr const char* kFn = "qvAPIGetNodeNameType";
    return RunStep<uint32_t>(kFn, text::kLogicalError, 0u, [&](QVPAPI& block, uint32_t& code) {
        if (lpNodeName == nullptr) {
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0u;
        }
        return NameKind(block, kFn, lpNodeName, dwRtnOption, code);
    });
}

int qvp::nodes::qvAPINameParameterCheckEx(const char* lpName, uint32_t fdwNameOptions,
                                          const char* lpLabel, uint32_t, uint32_t) {
    static constexpr const char* kFn = "qvAPINameParameterCheckEx";
    return RunStep(kFn, text::kLogicalError, 0, [&](QVPAPI&, uint32_t& code) {
        const char* label = Shown(lpLabel);
        int option = static_cast<int>(fdwNameOptions);
        if (fdwNameOptions < kNameOptGeneral || fdwNameOptions > kNameOptIpText) {
            qvpDllLog(text::kExBadOption, kFn, label, option);
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
        const bool password = fdwNameOptions == kNameOptPassword;
        if (password) qvpDllLog(text::kExStart, kFn, label, option);
        if (lpName == nullptr || lpName[0] == '\0') {
            if (password) return 1;
            qvpDllLog(lpName == nullptr ? text::kExNull : text::kExEmpty, kFn, label);
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
        std::string_view name(lpName);
        size_t limit = password ? kPasswordMax
                       : fdwNameOptions == kNameOptIpText ? kIpTextMax
                                                          : kExNameMax;
        if (name.size() > limit) {
            qvpDllLog(text::kExTooLong, kFn, label);
            code = QVAPI_ERR_INVALID_NAME;
            return 0;
        }
        if (password) {
            for (char c : name) {
                if (!IsAsciiAlnum(static_cast<unsigned char>(c))) {
                    qvpDllLog(text::kExNotAlnum, kFn, label);
                    code = QVAPI_ERR_INVALID_NAME;
                    return 0;
                }
            }
            return 1;
        }
        if (fdwNameOptions == kNameOptIpText) {
            if (win::inet_addr(lpName) == win::INADDR_NONE_VALUE) {
                qvpDllLog(text::kExNotDotted, kFn, label);
                code = QVAPI_ERR_INVALID_NAME;
                return 0;
            }
            return 1;
        }
        if (fdwNameOptions == kNameOptId && name.size() >= 9) {
            bool reserved = true;
            for (size_t i = 0; i < 9 && reserved; ++i) reserved = AsciiLower(name[i]) == "networkid"[i];
            if (reserved) {
                qvpDllLog(text::kExInvalid, kFn, label, text::kNetworkId);
                code = QVAPI_ERR_INVALID_PARAMETER;
                return 0;
            }
        }
        if (FindAnyOf(name, text::kForbiddenSet) != std::string_view::npos) {
            qvpDllLog(text::kExInvalid, kFn, label, text::kForbiddenSet);
            code = QVAPI_ERR_INVALID_NAME;
            return 0;
        }
        return 1;
    });
}

int qvp::nodes::qvAPINameParameterCheckExForHostID(const char* lpHostIDName, uint32_t,
                                                   const char* lpLabel, uint32_t, uint32_t) {
    static constexpr const char* kFn = "qvAPINameParameterCheckExForHostID";
    return RunStep(kFn, text::kLogicalError, 0, [&](QVPAPI& block, uint32_t& code) {
        const char* label = Shown(lpLabel);
        code = QVAPI_ERR_INVALID_NAME;
        if (lpHostIDName == nullptr || lpHostIDName[0] == '\0') {
            qvpDllLog(lpHostIDName == nullptr ? text::kHidNull : text::kHidEmpty, kFn, label);
            return 0;
        }
        std::string_view name(lpHostIDName);
        uint32_t ignored = 0;
        uint32_t kind = NameKind(block, "qvAPIGetNodeNameType", name, 0, ignored);
        if (kind == 0) {
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
        if (name.size() > kHostIdMax) {
            qvpDllLog(text::kHidTooLong, kFn, label);
            return 0;
        }
        if (name[0] != '#') {
            qvpDllLog(text::kHidTop, kFn, label, name[0]);
            return 0;
        }
        char expected = kind == kKindHostIdG ? 'G' : kind == kKindHostIdU ? 'U' : 'C';
        char cls = name.size() > 1 ? name[1] : '\0';
        if (cls != expected) {
            if (cls == 'G' || cls == 'U' || cls == 'C') {
                qvpDllLog(text::kHidUnmatch, kFn, label, expected);
            } else {
                qvpDllLog(text::kHidSecond, kFn, label, cls);
            }
            return 0;
        }
        for (size_t i = 2; i < name.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(name[i]);
            if (!IsAsciiDigit(c) && !(c >= 'A' && c <= 'V')) {
                qvpDllLog(text::kHidChar, kFn, label, static_cast<unsigned>(i), name[i]);
                return 0;
            }
        }
        code = 0;
        return 1;
    });
}

int qvp::nodes::qvAPINameParameterCheck(const char* lpName, uint32_t dwKind, uint32_t) {
    static constexpr const char* kFn = "qvAPINameParameterCheck";
    return RunStep(kFn, text::kLogicalError, 0,
                   [&](QVPAPI& block, uint32_t& code) {
        code = QVAPI_ERR_INVALID_NAME;
        if (lpName == nullptr || lpName[0] == '\0') {
            qvpDllLog(lpName == nullptr ? text::kNcNameNull : text::kNcNameEmpty, text::kNameCheckFunction);
            return 0;
        }
        std::string_view name(lpName);
        const bool node = IsNodeKind(dwKind);
        if (name.size() > (node ? kLongestNodeName : kLongestShortName)) {
            qvpDllLog(text::kNcTooLong, text::kNameCheckFunction);
            return 0;
        }
        if ((dwKind == kNameClient || dwKind == kNameMaster) && block.systemManagementKey == 1) {
            if (qvAPINameParameterCheckEx(lpName, kNameOptIpText, "lpNodeName", 0, 0) == 0) {
                code = qvAPIGetLastError();
                qvpDllLog(text::kNcIpText, kFn, lpName, code);
                return 0;
            }
        }
        if (dwKind == kNameHostId) {
            if (qvAPINameParameterCheckExForHostID(lpName, 0, nullptr, 0, 0) == 0) {
                qvpDllLog(text::kNcTooLong, text::kNameCheckFunction);
                return 0;
            }
            code = 0;
            return 1;
        }
        if (dwKind > kNameIdNode) {
            qvpDllLog(text::kNcBadOption, text::kNameCheckFunction);
            code = QVAPI_ERR_INVALID_PARAMETER;
            return 0;
        }
        switch (NameCharactersCheck(name, dwKind)) {
        case NameCharacters::Valid:
            code = 0;
            return 1;
        case NameCharacters::NotNodeCharacter:
            qvpDllLog(text::kNcBadNodeName, text::kNameCheckFunction, lpName);
            return 0;
        case NameCharacters::Refused:
            qvpDllLog(text::kNcBadChar, text::kNameCheckFunction);
            return 0;
        }
        return 0;
    });
}

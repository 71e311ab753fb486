// Node-definition checks and the IPv4 text normaliser.
#include "nodes/node_checks.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/frame.h"
#include "core/log.h"
#include "nodes/name_checks.h"
#include "nodes/name_text.h"
#include "nodes/node_record.h"
#include "nodes/node_texts.h"

using namespace qvp::nodes;

namespace {

constexpr size_t kIpTextLimit = 16;    // shorter than this
constexpr size_t kPathWithName = 255;  // a path plus the name appended to it
constexpr size_t kTopNameMax = 64;

bool AddressIsZero(const QVAPI_NODE& n) {
    return n.ucNodeAddress[0] == 0 && n.ucNodeAddress[1] == 0 && n.ucNodeAddress[2] == 0 &&
           n.ucNodeAddress[3] == 0;
}

}  // namespace

int qvp::nodes::qvAPIChangeIPAddress(const char* lpIPAddress, char* lpOut) {
    static constexpr qvp::FrameTexts kTexts{"qvAPIChangeIPAddress", qvp::EndStyle::Hex, nullptr,
                                            nullptr, text::kLogicalError};
    return qvp::RunApi(kTexts, 0, [&](qvp::CallContext& call) {
        const char* fn = kTexts.function;
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        if (lpIPAddress == nullptr || lpOut == nullptr) return 0;
        std::string_view ip(lpIPAddress);
        if (ip.size() >= kIpTextLimit) {
            qvpDllLog(text::kIpSizeOver, fn, lpIPAddress);
            return 0;
        }
        if (!ip.empty() && ip.back() == '.') {
            qvpDllLog(text::kIpLastDot, fn, lpIPAddress);
            return 0;
        }
        // Empty parts (leading or doubled dots) are no parts.
        std::vector<std::string_view> parts;
        size_t start = 0;
        while (start <= ip.size()) {
            size_t dot = ip.find('.', start);
            if (dot == std::string_view::npos) dot = ip.size();
            if (dot > start) parts.push_back(ip.substr(start, dot - start));
            start = dot + 1;
        }
        if (parts.size() != 4) {
            qvpDllLog(text::kIpInvalid, fn, lpIPAddress);
            return 0;
        }
        unsigned values[4];
        for (size_t i = 0; i < 4; ++i) {
            // Only decimal digits make a part: a sign or letters would be keyed as some other
            // address ("-1" or "a" read as 0).
            unsigned value = 0;
            for (char c : parts[i]) {
                if (!IsAsciiDigit(static_cast<unsigned char>(c))) {
                    qvpDllLog(text::kIpInvalid, fn, lpIPAddress);
                    return 0;
                }
                if (value <= 255) value = value * 10 + static_cast<unsigned>(c - '0');
            }
            if (value > 255) {
                qvpDllLog(text::kIp255Over, fn, lpIPAddress);
                return 0;
            }
            if (parts[i].size() > 3) {
                qvpDllLog(text::kIpInvalid, fn, lpIPAddress);
                return 0;
            }
            values[i] = value;
        }
        std::snprintf(lpOut, kIpTextLimit, "%u.%u.%u.%u", values[0], values[1], values[2], values[3]);
        call.Fail(0);
        return 1;
    });
}

int qvp::nodes::qvAPINameParameterNodeDefinitionCheck(const char* lpNodeName,
                                                      const char* lpHostName,
                                                      const char* lpFunction, uint32_t dwNameKind) {
    static constexpr qvp::FrameTexts kTexts{"qvAPINameParameterNodeDefinitionCheck",
                                            qvp::EndStyle::Hex, nullptr, nullptr,
                                            text::kLogicalErr};
    return qvp::RunApi(kTexts, 0, [&](qvp::CallContext& call) {
        const char* fn = kTexts.function;
        const char* caller = lpFunction != nullptr ? lpFunction : "(null)";
        const char* shownName = lpNodeName != nullptr ? lpNodeName : "(null)";
        uint32_t kind = lpNodeName != nullptr ? qvAPIGetNodeNameType(lpNodeName, 0, 0, 0) : 0;
        if (kind == 0) {
            qvpDllLog(text::kKindNotFound, fn, shownName);
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        auto failed = [&]() {
            uint32_t code = qvAPIGetLastError();
            qvpDllLog(text::kNameCheckFailed, fn, caller, shownName, code);
            call.Fail(code);
            return 0;
        };
        // The names are checked whole: one longer than a node name is refused, never cut to fit.
        const char* second = lpNodeName;
        if (IsHostIdKind(kind)) {
            if (qvAPINameParameterCheck(lpNodeName, kNameHostId) == 0) return failed();
            if (call.block().systemManagementKey != 0) return 1;
            second = lpHostName;
            if (second == nullptr || second[0] == '\0') return 1;
        }
        if (qvAPINameParameterCheck(second, dwNameKind) == 0) return failed();
        return 1;
    });
}

int qvp::nodes::qvAPICheckInputItemDefinition(uint32_t wdKindOfKey, QVAPI_NODE* lpNodeData) {
    static constexpr qvp::FrameTexts kTexts{"qvAPICheckInputItemDefinition",
                                            qvp::EndStyle::Decimal, nullptr, nullptr,
                                            text::kLogicalError};
    return qvp::RunApi(kTexts, 0, [&](qvp::CallContext& call) {
        const char* fn = kTexts.function;
        call.Fail(QVAPI_ERR_INVALID_PARAMETER);
        if (lpNodeData == nullptr) return 0;
        QVAPI_NODE& n = *lpNodeData;
        const uint8_t managementKey = call.block().systemManagementKey;
        auto needName = [&]() {
            if (n.ucNodeName[0] == '\0') {
                qvpDllLog(text::kItemNodeNameNull, fn);
                return false;
            }
            if (n.ucSystemKey != 0) {
                qvpDllLog(text::kItemSystemKey, fn, n.ucSystemKey);
                return false;
            }
            return true;
        };
        auto needAddress = [&]() {
            if (AddressIsZero(n)) {
                qvpDllLog(text::kItemAddressNull, fn);
                return false;
            }
            if (n.uiIPAddrFlag != 1) {
                qvpDllLog(text::kItemIpFlag, fn, n.uiIPAddrFlag);
                return false;
            }
            if (n.ucSystemKey != 1) {
                qvpDllLog(text::kItemSystemKey, fn, n.ucSystemKey);
                return false;
            }
            return true;
        };
        if (IsHostIdKind(wdKindOfKey)) {
            if (n.ucHostIDFlag != 1) {
                qvpDllLog(text::kItemHostIdFlag, fn, n.ucHostIDFlag);
                return 0;
            }
            if (n.ucHostID[0] == '\0') {
                qvpDllLog(text::kItemHostIdNull, fn);
                return 0;
            }
            if (managementKey == 0 && !needName()) return 0;
            if (managementKey == 1) {
                if (!needAddress()) return 0;
                if (n.ucHostIDPath[0] == '\0') {
                    SetField(n.ucHostIDPath, "\\");
                    SetField(n.ucNodePath0, "\\");
                }
            }
        } else if (wdKindOfKey == kKindHostName || wdKindOfKey == kKindIpAddress) {
            if (!(wdKindOfKey == kKindHostName ? needName() : needAddress())) return 0;
            if (n.ucNodePath0[0] == '\0') SetField(n.ucNodePath0, "\\");
        } else {
            qvpDllLog(text::kItemKindOfKey, fn, static_cast<int>(wdKindOfKey));
            return 0;
        }
        call.Fail(0);
        return 1;
    });
}

int qvp::nodes::qvAPICheckDataNodeDefinition(const QVAPI_NODE* lpNodeData) {
    static constexpr qvp::FrameTexts kTexts{"qvAPICheckDataNodeDefinition",
                                            qvp::EndStyle::Decimal, nullptr, nullptr,
                                            text::kLogicalError};
    return qvp::RunApi(kTexts, 0, [&](qvp::CallContext& call) {
        const char* fn = kTexts.function;
        if (lpNodeData == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        const QVAPI_NODE& n = *lpNodeData;
        // Every field is measured within its own width: a full field has no terminator.
        const std::string plain =
            n.ucSystemKey == 0 ? std::string(Field(n.ucNodeName)) : DottedAddress(n.ucNodeAddress);
        const std::string own = n.ucHostIDFlag == 1 ? std::string(Field(n.ucHostID)) : plain;
        auto over = [&](size_t sum) {
            qvpDllLog(text::kPathSizeOver, fn, static_cast<unsigned>(sum));
            call.Fail(QVAPI_ERR_PATH_TOO_LONG);
            return 0;
        };
        std::string_view hostIdPath = Field(n.ucHostIDPath);
        if (!PathIsTop(hostIdPath) && hostIdPath.size() + own.size() > kPathWithName) {
            return over(hostIdPath.size() + own.size());
        }
        std::string_view path0 = Field(n.ucNodePath0);
        if (PathIsTop(path0)) {
            if (plain.size() > kTopNameMax) return over(plain.size());
        } else if (path0.size() + plain.size() > kPathWithName) {
            return over(path0.size() + plain.size());
        }
        std::string_view keyPath = Field(n.ucNodeKeyPath);
        std::string_view key = Field(n.ucNodeKey);
        if (!keyPath.empty() && keyPath.size() + key.size() > kPathWithName) {
            return over(keyPath.size() + key.size());
        }
        return 1;
    });
}

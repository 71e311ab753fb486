#include "packages/package_requests.h"

#include <algorithm>
#include <string>

namespace qvp::packages::request {

RequestBuilder Rput(std::string_view af, std::string_view rf, std::optional<std::string_view> qf,
                    char replace) {
    RequestBuilder r(verb::kRput);
    r.Field('t', af).Field('t', rf);
    if (qf) r.Field('t', *qf);
    r.Field('f', &replace, 1);
    return r;
}

RequestBuilder RgetCreate(std::string_view resourceName) {
    std::string name(resourceName.substr(0, 8));
    name.resize(8, ' ');
    RequestBuilder r(verb::kRget);
    r.Field('f', "T").Field('v', name).DeclareCount(3);
    return r;
}

RequestBuilder RgetContinue() { return std::move(RequestBuilder(verb::kRget).Field('f', "N")); }

RequestBuilder RgetClose() { return std::move(RequestBuilder(verb::kRget).Field('f', "E")); }

ListReply ParseListReply(const char* reply, size_t length) {
    ListReply parsed;
    size_t i = 0;
    for (int word = 1; word < 10 && i < length && reply[i] != '\0'; ++word) {
        while (i < length && reply[i] == ' ') ++i;
        const size_t start = i;
        uint64_t value = 0;
        for (; i < length && reply[i] >= '0' && reply[i] <= '9'; ++i) value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(reply[i] - '0'), UINT32_MAX);
        // A word that is not a number reads as 0, like the error information's words.
        if (i < length && reply[i] != ' ' && reply[i] != '\0') value = 0;
        while (i < length && reply[i] != ' ' && reply[i] != '\0') ++i;
        if (i == start) break;
        parsed.word[word] = static_cast<uint32_t>(value);
        parsed.present[word] = true;
    }
    return parsed;
}

}  // namespace qvp::packages::request

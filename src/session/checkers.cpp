#include "session/checkers.h"

#include <cstring>
#include <string_view>

namespace {

// The reply's leading bytes; never reads past its NUL.
std::string_view Head(const char* reply) {
    return reply == nullptr ? std::string_view() : std::string_view(reply, ::strnlen(reply, 8));
}

char At(std::string_view s, size_t i) { return i < s.size() ? s[i] : '\0'; }

bool StandsAt(std::string_view s, size_t pos, std::string_view word) {
    return pos <= s.size() && s.substr(pos).starts_with(word);
}

// First character '0' and third '0': class 0, detail 0.
bool Accepted(std::string_view s) { return At(s, 0) == '0' && At(s, 2) == '0'; }

}  // namespace

int qvpAPICheckRputReply(const char* reply) {
    std::string_view s = Head(reply);
    if (Accepted(s)) return 0;
    if (s.starts_with("16")) {
        if (StandsAt(s, 3, "22")) return 1;
        if (StandsAt(s, 3, "162")) return 2;
        if (StandsAt(s, 3, "199")) return 3;
    }
    if (At(s, 0) == '4' && StandsAt(s, 2, "16")) return 4;
    return kQvpReplyOther;
}

int qvpAPICheckJputReply(const char* reply) {
    std::string_view s = Head(reply);
    if (At(s, 0) != '0') return kQvpReplyOther;
    switch (At(s, 2)) {
    case '0': return 0;
    case '2': {
        const char fourth = At(s, 3);
        return fourth >= '0' && fourth <= '4' ? kQvpReplyOther : 2;
    }
    case '4': return 4;
    case '6': return 6;
    case '8': return 8;
    default: return kQvpReplyOther;
    }
}

int qvpAPICheckJexcReply(const char* reply) { return Accepted(Head(reply)) ? 0 : kQvpReplyOther; }

int qvpAPICheckJdelReply(const char* reply) { return Accepted(Head(reply)) ? 0 : kQvpReplyOther; }

int qvpAPICheckJrtyReply(const char* reply) {
    std::string_view s = Head(reply);
    if (Accepted(s)) return 0;
    if (At(s, 0) == '0' && StandsAt(s, 2, "30")) return 1;
    return kQvpReplyOther;
}

int qvpAPICheckRdelReply(const char* reply) {
    std::string_view s = Head(reply);
    if (Accepted(s)) return 0;
    if (s.starts_with("4 16")) return 1;
    return kQvpReplyOther;
}

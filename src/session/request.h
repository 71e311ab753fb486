// Request texts to the manager: "VERB count field...", each field a type letter, the decimal
// length, one blank and exactly that many bytes (blanks and NULs included). Every request the
// library sends is built here or with RequestBuilder, so a request text is fixed in one place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/block.h"

namespace qvp {

// The manager's verbs.
namespace verb {
inline constexpr std::string_view kAint = "AINT";    // handshake
inline constexpr std::string_view kAtrm = "ATRM";    // end of session
inline constexpr std::string_view kFget = "FGET";    // cursor: first, position, next
inline constexpr std::string_view kFrls = "FRLS";    // cursor release
inline constexpr std::string_view kFupd = "FUPD";    // record update
inline constexpr std::string_view kFdel = "FDEL";    // status records delete
inline constexpr std::string_view kGput = "GPUT";
inline constexpr std::string_view kRput = "RPUT";
inline constexpr std::string_view kRget = "RGET";    // package lists
inline constexpr std::string_view kRdel = "RDEL";
inline constexpr std::string_view kJput = "JPUT";    // job creation
inline constexpr std::string_view kJsch = "JSCH";    // scheduled job creation
inline constexpr std::string_view kJexc = "JEXC";
inline constexpr std::string_view kJrty = "JRTY";
inline constexpr std::string_view kJdel = "JDEL";
inline constexpr std::string_view kDexc = "DEXC";
inline constexpr std::string_view kIdget = "IDGET";
inline constexpr std::string_view kIdupd = "IDUPD";
inline constexpr std::string_view kIddel = "IDDEL";
inline constexpr std::string_view kIdrls = "IDRLS";
inline constexpr std::string_view kIdexc = "IDEXC";
inline constexpr std::string_view kIdchg = "IDCHG";
}  // namespace verb

// Record kind letters of the manager's cursors, indexed by QvpRecordKind.
inline constexpr char kRecordKindLetters[kKindCount] = {'M', 'A', 'E', 'S'};

// The handshake's protocol version.
inline constexpr std::string_view kProtocolVersion = "V0300";

class RequestBuilder {
public:
    explicit RequestBuilder(std::string_view verb) : verb_(verb) {}

    // One field with the value's explicit length; the value may hold blanks and NULs.
    RequestBuilder& Field(char type, std::string_view value);
    RequestBuilder& Field(char type, const void* data, size_t length) {
        return Field(type, std::string_view(static_cast<const char*>(data), length));
    }

    // Bytes after the last field, outside any field (one caller's request ends in a blank).
    RequestBuilder& Tail(std::string_view bytes) {
        tail_.append(bytes.data(), bytes.size());
        return *this;
    }

    // The count word as the manager expects it where it is not the number of fields.
    RequestBuilder& DeclareCount(size_t count) {
        declaredCount_ = count;
        return *this;
    }

    std::string_view verb() const { return verb_; }
    size_t count() const { return count_; }
    // The whole request text.
    std::string Text() const;
    // Whether the text fits in one frame.
    bool Fits() const;

private:
    std::string verb_;
    std::string fields_;
    std::string tail_;
    size_t count_ = 0;
    std::optional<size_t> declaredCount_;
};

// The requests of the session layer.
RequestBuilder BuildAintRequest(std::string_view host);       // "AINT 2 v5 V0300 h<len> <host>"
RequestBuilder BuildFrlsRequest(char kind);                   // "FRLS 1 f1 <kind>"
RequestBuilder BuildAtrmRequest();                            // "ATRM 0"

}  // namespace qvp

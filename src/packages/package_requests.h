// The request texts of the package side, each verb built here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "session/request.h"

namespace qvp::packages::request {

// "RPUT 3 t<len> <AF> t<len> <RF> f1 <replace>", or "RPUT 4 ..." with the script file's field
// before the option; `replace` is 'F' or ' '.
RequestBuilder Rput(std::string_view af, std::string_view rf, std::optional<std::string_view> qf,
                    char replace);

// Package lists: "RGET 3 f1 T v8 <resource name blank-padded to 8>" (the count word 3 is what
// the manager takes), "RGET 1 f1 N" for the next chunk, "RGET 1 f1 E" to end the list.
RequestBuilder RgetCreate(std::string_view resourceName);
RequestBuilder RgetContinue();
RequestBuilder RgetClose();

// The words of a list reply, counted from 1: class, detail, list number (5), first count (7),
// second count (9) as decimal numbers; `present` tells which the reply had.
struct ListReply {
    uint32_t word[10] = {};
    bool present[10] = {};
};
// Reads the first `length` bytes of a reply (stops at a NUL).
ListReply ParseListReply(const char* reply, size_t length);

}  // namespace qvp::packages::request

// The request texts of the package side, each verb built here and nowhere else.
#pragma once

#include <optional>
#include <string_view>

#include "session/request.h"

namespace qvp::packages::request {

// "RPUT 3 t<len> <AF> t<len> <RF> f1 <replace>", or "RPUT 4 ..." with the script file's field
// before the option; `replace` is 'F' or ' '.
RequestBuilder Rput(std::string_view af, std::string_view rf, std::optional<std::string_view> qf,
                    char replace);

}  // namespace qvp::packages::request

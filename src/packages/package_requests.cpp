#include "packages/package_requests.h"

namespace qvp::packages::request {

RequestBuilder Rput(std::string_view af, std::string_view rf, std::optional<std::string_view> qf,
                    char replace) {
    RequestBuilder r(verb::kRput);
    r.Field('t', af).Field('t', rf);
    if (qf) r.Field('t', *qf);
    r.Field('f', &replace, 1);
    return r;
}

}  // namespace qvp::packages::request

#include "session/request.h"

#include "share/tcp/tcpsock.h"

namespace qvp {

RequestBuilder& RequestBuilder::Field(char type, std::string_view value) {
    fields_ += ' ';
    fields_ += type;
    fields_ += std::to_string(value.size());
    fields_ += ' ';
    fields_.append(value.data(), value.size());
    ++count_;
    return *this;
}

std::string RequestBuilder::Text() const {
    std::string text;
    text.reserve(verb_.size() + 8 + fields_.size() + tail_.size());
    text += verb_;
    text += ' ';
    text += std::to_string(declaredCount_.value_or(count_));
    text += fields_;
    text += tail_;
    return text;
}

bool RequestBuilder::Fits() const {
    return verb_.size() + 1 + std::to_string(declaredCount_.value_or(count_)).size() + fields_.size() + tail_.size() <= kQvpFramePayloadMax;
}

RequestBuilder BuildAintRequest(std::string_view host) {
    RequestBuilder r(verb::kAint);
    r.Field('v', kProtocolVersion).Field('h', host);
    return r;
}

RequestBuilder BuildFrlsRequest(char kind) {
    RequestBuilder r(verb::kFrls);
    r.Field('f', &kind, 1);
    return r;
}

RequestBuilder BuildAtrmRequest() { return RequestBuilder(verb::kAtrm); }

}  // namespace qvp

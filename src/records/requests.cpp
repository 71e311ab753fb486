#include "records/requests.h"

namespace qvp::records::request {

namespace {

// The cabinet verbs only this layer sends.
constexpr std::string_view kGupd = "GUPD";
constexpr std::string_view kGdel = "GDEL";
constexpr std::string_view kHdel = "HDEL";

std::string KindWord(char kind, std::string_view suffix) {
    std::string word(1, kind);
    word.append(suffix);
    return word;
}

}  // namespace

RequestBuilder FgetFirst(char kind) {
    return std::move(RequestBuilder(verb::kFget).Field('f', KindWord(kind, "T")));
}
RequestBuilder FgetNext(char kind) {
    return std::move(RequestBuilder(verb::kFget).Field('f', KindWord(kind, "N")));
}
RequestBuilder FgetKey(char kind, std::string_view key) {
    return std::move(RequestBuilder(verb::kFget).Field('f', KindWord(kind, "KP")).Field('k', key));
}
RequestBuilder Fupd(char kind, std::string_view key, std::string_view record) {
    return std::move(
        RequestBuilder(verb::kFupd).Field('f', KindWord(kind, "KP")).Field('k', key).Field('i', record));
}
RequestBuilder Fdel(std::string_view pattern) {
    return std::move(RequestBuilder(verb::kFdel).Field('f', "SKP").Field('k', pattern));
}
RequestBuilder Gput(std::string_view key, std::string_view name32) {
    return std::move(RequestBuilder(verb::kGput).Field('k', key).Field('g', name32));
}
RequestBuilder Gupd(std::string_view key, std::string_view name32) {
    return std::move(RequestBuilder(kGupd).Field('k', key).Field('g', name32));
}
RequestBuilder Gdel(std::string_view key) { return std::move(RequestBuilder(kGdel).Field('k', key)); }
RequestBuilder Hdel() { return RequestBuilder(kHdel); }
RequestBuilder Rdel(std::string_view packageKey) {
    return std::move(RequestBuilder(verb::kRdel).Field('k', packageKey));
}
RequestBuilder Jput(std::string_view jobGenPath, std::string_view jobNumber16) {
    return std::move(RequestBuilder(verb::kJput).Field('j', jobGenPath).Field('n', jobNumber16));
}
RequestBuilder Jsch(std::string_view jobGenPath, std::string_view jobNumber16,
                    std::string_view schedule224) {
    return std::move(
        RequestBuilder(verb::kJsch).Field('j', jobGenPath).Field('n', jobNumber16).Field('s', schedule224));
}
RequestBuilder Jexc(std::string_view jobPath) {
    return std::move(RequestBuilder(verb::kJexc).Field('n', jobPath).Field('f', " "));
}
RequestBuilder Jdel(std::string_view jobPath, bool site, bool forced) {
    return std::move(RequestBuilder(verb::kJdel)
                         .Field('n', jobPath)
                         .Field('f', forced ? " F" : " ")
                         .Field('s', site ? "S" : " "));
}
RequestBuilder JdelCommand(std::string_view jobPath, std::string_view node,
                           std::string_view commandNumber) {
    return std::move(
        RequestBuilder(verb::kJdel).Field('n', jobPath).Field('f', " ").Field('a', node).Field('c', commandNumber));
}
std::string IgetField(std::string_view node) {
    std::string text("IGET FIELD K");
    text += std::to_string(node.size());
    text += ' ';
    text.append(node.data(), node.size());
    return text;
}

}  // namespace qvp::records::request

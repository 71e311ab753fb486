#include "records/requests.h"

namespace qvp::records::request {

namespace {

// The cabinet verbs only this layer sends.
constexpr std::string_view kGupd = "GUPD";
constexpr std::string_view kGdel = "GDEL";
constexpr std::string_view kHdel = "HDEL";
constexpr std::string_view kIdel = "IDEL";
constexpr std::string_view kIupd = "IUPD";

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
RequestBuilder Jrty(std::string_view jobPath, std::string_view dottedNode, char letter) {
    RequestBuilder r(verb::kJrty);
    r.Field('n', jobPath);
    if (!dottedNode.empty()) r.Field('a', dottedNode);
    r.Field('f', &letter, 1);
    return r;
}
RequestBuilder JrtyDivisional(std::string_view jobNumber, std::string_view first, std::string_view second) {
    return std::move(RequestBuilder(verb::kJrty)
                         .Field('n', "\\" + std::string(jobNumber))
                         .Field('a', first)
                         .Field('v', second)
                         .Field('f', "X"));
}
RequestBuilder JdelIdEntry(char list, std::string_view node) {
    return std::move(RequestBuilder(verb::kJdel).Field('f', &list, 1).Field('a', node));
}
namespace {
// "IGET <count> K<len> <node>": the inventory requests do not count their fields as others do.
std::string IgetHead(std::string_view count, std::string_view node) {
    std::string text("IGET ");
    text.append(count);
    text += " K";
    text += std::to_string(node.size());
    text += ' ';
    text.append(node.data(), node.size());
    return text;
}
}  // namespace

std::string IgetField(std::string_view node) { return IgetHead("FIELD", node); }
std::string IgetStep(std::string_view node, char step) { return IgetHead("2", node) + ' ' + step; }
std::string IgetEntry(std::string_view node, uint8_t type, uint8_t subtype) {
    std::string text = IgetHead("3", node) + " S ";
    text += static_cast<char>(type);
    text += " P ";
    text += static_cast<char>(subtype);
    return text;
}
RequestBuilder Idel(std::string_view node) { return std::move(RequestBuilder(kIdel).Field('K', node)); }
RequestBuilder Iupd(std::string_view oldNode, std::string_view newNode) {
    return std::move(RequestBuilder(kIupd).Field('K', oldNode).Field('N', newNode));
}

}  // namespace qvp::records::request

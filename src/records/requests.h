// The request texts of the record layer, each verb built here and nowhere else, with the
// session's builder: values are measured by their length, never by a terminator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "session/request.h"

namespace qvp::records::request {

using qvp::RequestBuilder;

RequestBuilder FgetFirst(char kind);                             // "FGET 1 f2 <k>T"
RequestBuilder FgetNext(char kind);                              // "FGET 1 f2 <k>N"
RequestBuilder FgetKey(char kind, std::string_view key);         // "FGET 2 f3 <k>KP k<len> <key>"
RequestBuilder Fupd(char kind, std::string_view key, std::string_view record);
RequestBuilder Fdel(std::string_view pattern);                   // "FDEL 2 f3 SKP k<len> <pattern>"
RequestBuilder Gput(std::string_view key, std::string_view name32);
RequestBuilder Gupd(std::string_view key, std::string_view name32);
RequestBuilder Gdel(std::string_view key);
RequestBuilder Hdel();
RequestBuilder Rdel(std::string_view packageKey);
RequestBuilder Jput(std::string_view jobGenPath, std::string_view jobNumber16);
RequestBuilder Jsch(std::string_view jobGenPath, std::string_view jobNumber16,
                 std::string_view schedule224);
RequestBuilder Jexc(std::string_view jobPath);
RequestBuilder Jdel(std::string_view jobPath, bool site, bool forced);
RequestBuilder JdelCommand(std::string_view jobPath, std::string_view node,
                        std::string_view commandNumber);
// "JRTY 2 n<len> <job path> f1 <letter>", with "a<len> <dotted node>" before the letter when a
// node is given.
RequestBuilder Jrty(std::string_view jobPath, std::string_view dottedNode, char letter);
// "JRTY 4 n<len> \<job number> a<len> <first> v<len> <second> f1 X".
RequestBuilder JrtyDivisional(std::string_view jobNumber, std::string_view first, std::string_view second);
RequestBuilder JdelIdEntry(char list, std::string_view node);  // "JDEL 2 f1 <list> a<len> <node>"
// The inventory verb takes the word "FIELD" where other requests carry the count, so it is a
// plain text: "IGET FIELD K<len> <node>".
std::string IgetField(std::string_view node);
// The node's system information entry by entry: "IGET 2 K<len> <node> <step>" with the step F
// (first), N (next) or E (end); one entry by type and subtype, each a raw byte:
// "IGET 3 K<len> <node> S <type> P <subtype>".
std::string IgetStep(std::string_view node, char step);
std::string IgetEntry(std::string_view node, uint8_t type, uint8_t subtype);
RequestBuilder Idel(std::string_view node);                             // "IDEL 1 K<len> <node>"
RequestBuilder Iupd(std::string_view oldNode, std::string_view newNode); // "IUPD 2 K<len> <old> N<len> <new>"

}  // namespace qvp::records::request

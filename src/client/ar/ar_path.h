// Path texts of the archiver. A caller's path is either a Windows path text ("C:\...", UNC
// "\\server\share\...") whose separators are found code-page aware, or an absolute POSIX path
// ("/...") whose only separator is '/' (a '\' there is a byte of a name).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ar {

struct PathStyle {
    bool posix = false;
    char sep = '\\';

    static PathStyle of(std::string_view path);
    // Components, empty ones (leading, trailing, doubled separators) dropped.
    std::vector<std::string> split(std::string_view path) const;
    // base + separator + name; either side may be empty.
    std::string join(std::string_view base, std::string_view name) const;
    bool endsWithSep(std::string_view path) const;
    bool hasSep(std::string_view path) const;
};

// Splits a stored name at '/' and, code-page aware, at '\'; empty parts dropped.
std::vector<std::string> splitStoredName(std::string_view name);
// Joins parts with '/'.
std::string joinSlash(const std::vector<std::string>& parts);
// True when a stored entry name may be placed below a restore folder: not absolute, no drive,
// no ".." component.
bool isSafeEntryName(std::string_view name);
// 'R' followed by seven characters, extension aside: a package's resource file.
bool isResourceFileName(std::string_view path);

}  // namespace ar

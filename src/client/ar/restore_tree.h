// What keeps an extraction inside its restore folder, whichever reader runs it: every path is
// checked to resolve below the folder through folders only (never a link), and what the
// extraction made is remembered so that a later name the Windows rules would merge with it
// (another case, trailing blanks or dots) lands under its own name instead of replacing it.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace ar {

class RestoreGuard {
public:
    // The restore folder, once it exists. False when it can't be resolved.
    bool open(const std::string& restore);
    // True when `path` is the restore folder or resolves below it and every folder between is a
    // folder, not a link (the last component itself may be anything: the caller decides).
    bool admits(const std::string& path);

private:
    std::string root_;                        // resolved, with a closing '/'
    std::unordered_set<std::string> folders_;  // resolved folders found to be real ones
};

class MadeNames {
public:
    void add(const std::string& path);
    bool contains(const std::string& path) const { return exact_.count(path) != 0; }
    // Made by this extraction under a name that differs from `path` only as the Windows rules
    // ignore: `path` must then be made under its exact name, never replace it.
    bool variantOf(const std::string& path) const;

private:
    static std::string fold(const std::string& path);
    std::unordered_set<std::string> exact_;
    // Made only once a question needs it: an extraction into new folders never asks.
    mutable std::unordered_set<std::string> folded_;
    mutable bool folding_ = false;
};

}  // namespace ar

// Files written beside their target and put in its place only when complete: a failure leaves
// the target as it was, and nobody can prepare the temporary's name in advance.
#pragma once

#include <string>
#include <string_view>

#include "core/handles.h"

namespace qvp {

class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates "<target>.<16 hex digits><suffix>" exclusively (never through a link; another
    // name on a collision). `hidden`: "." before the target's own name, so that walks for the
    // target's kind of name pass the temporary over. False with the Windows error as last error.
    bool Create(const std::string& target, const char* suffix, win::DWORD access, bool hidden = false);
    // Puts the file in the target's place in one step (the target is never missing, and a
    // link there is replaced, not followed). False with the target as it was.
    bool Place();
    // Puts the file under the target's name only where nothing has it (183 otherwise): the name
    // comes to exist with its whole contents at once.
    bool PlaceNew();
    // Closes and removes the file now (also done when it goes unplaced).
    void Discard();
    // The caller takes the file over under its own name: it stays when this goes.
    void Keep() { placed_ = true; }

    const std::string& path() const { return path_; }
    FileHandle handle;

private:
    std::string target_;
    std::string path_;
    bool placed_ = false;
};

// Whether `name` (a last component) is what Create names a temporary of a target whose last
// component is `targetName`, with `suffix` and not hidden: "<targetName>.<16 hex digits><suffix>".
bool IsTempNameOf(std::string_view name, std::string_view targetName, std::string_view suffix);

// Writes `bytes` to a temporary beside `target` and puts it in the target's place.
bool ReplaceFileContents(const std::string& target, const void* bytes, size_t size);

}  // namespace qvp

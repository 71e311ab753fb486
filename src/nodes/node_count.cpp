// Counts of the stored definition files (C.<key> and M.<key>) below NODEDEF.
#include <cstring>
#include <string>
#include <string_view>

#include "core/frame.h"
#include "core/log.h"
#include "nodes/name_text.h"
#include "nodes/node_keys.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"
#include "nodes/node_texts.h"

using namespace qvp::nodes;

int qvpAPINodeCount(QVPAPI* block, win::HANDLE hFind, uint32_t, int nCount) {
    (void)block;
    win::WIN32_FIND_DATAA data{};
    // One entry at a time: the count never grows the stack with the number of files.
    while (win::FindNextFile(hFind, &data)) {
        std::string_view name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
        if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (EqualIgnoringCase(name, kAttributionFileName)) continue;
        if (name.starts_with('.')) continue;  // a writer's temporary, never a definition
        ++nCount;
    }
    win::DWORD error = win::GetLastError();
    if (error != win::ERROR_NO_MORE_FILES) {
        qvpDllLog(text::kNodeCountFindNext, "qvpAPINodeCount", static_cast<int>(error));
        qvAPISetLastError(QVAPI_ERR_RESOURCE);
        return 0;
    }
    return nCount;
}

extern "C" QVPAPI_EXPORT int qvAPICountNodeDefinition(void) {
    static constexpr qvp::FrameTexts kTexts{"qvAPICountNodeDefinition", qvp::EndStyle::Hex,
                                            nullptr, nullptr, text::kLogicalError};
    return qvp::RunApi(kTexts, -1, [&](qvp::CallContext& call) {
        win::WIN32_FIND_DATAA data{};
        // Only the kinds count: a large store is not read entry by entry.
        FindWalk walk = FindWalk::Names(NodeDefDir() + "\\?.*", data);
        if (!walk.valid()) {
            win::DWORD error = win::GetLastError();
            qvpDllLog(text::kCountFindFirst, text::kCountFunction, static_cast<int>(error));
            call.Fail(error < 0x10000 ? 0x20000000u + error : QVAPI_ERR_RESOURCE);
            return -1;
        }
        int count = 0;
        do {
            if ((data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) ++count;
        } while (walk.Next(data));
        win::DWORD error = win::GetLastError();
        if (error != win::ERROR_NO_MORE_FILES) {
            qvpDllLog(text::kCountFindNext, text::kCountFunction, static_cast<int>(error));
            call.Fail(QVAPI_ERR_RESOURCE);
            return -1;
        }
        if (count == 0) {
            // Only ".." answered the pattern: the walk found no definition at all.
            qvpDllLog(text::kCountFindFirst, text::kCountFunction, static_cast<int>(win::ERROR_FILE_NOT_FOUND));
            call.Fail(QVAPI_ERR_FILE_NOT_FOUND);
            return -1;
        }
        return count;
    });
}

// Exported readers of one stored definition by name. The work is done on the whole record;
// the caller's share (its API level's size) is copied out last, on every way out.
#include <cstring>

#include "core/frame.h"
#include "nodes/node_record.h"
#include "nodes/node_store.h"

namespace {

using namespace qvp::nodes;

using WholeReader = uint32_t (*)(QVPAPI&, const char*, std::string_view, QVAPI_NODE&);

int ReadForCaller(const char* function, WholeReader reader, const char* name, QVAPI_NODE* out) {
    const qvp::FrameTexts texts{function};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (name == nullptr || name[0] == '\0' || out == nullptr) {
            call.Fail(QVAPI_ERR_INVALID_PARAMETER);
            return 0;
        }
        const size_t size = CallerNodeSize(call.block());
        std::memset(out, 0, size);
        QVAPI_NODE work{};
        const uint32_t code = reader(call.block(), function, name, work);
        std::memcpy(out, &work, size);
        if (code != 0) {
            call.Fail(code);
            return 0;
        }
        return 1;
    });
}

// A Find form: the Get reader in a frame of its own, its "no such node" reported as the end of
// a walk (0x20000103), which the Find forms' callers test for.
int FindForCaller(const char* function, int (*get)(const char*, QVAPI_NODE*), uint32_t notFound,
                  const char* name, QVAPI_NODE* out) {
    const qvp::FrameTexts texts{function};
    return qvp::RunApi(texts, 0, [&](qvp::CallContext& call) {
        if (get(name, out) != 0) return 1;
        const uint32_t code = qvAPIGetLastError();
        call.Fail(code == notFound ? QVAPI_ERR_NO_MORE_ITEMS : code);
        return 0;
    });
}

}  // namespace

extern "C" QVPAPI_EXPORT int qvAPIGetClientDefinitionByName(const char* lpNodeName,
                                                            QVAPI_NODE* lpNodeData) {
    return ReadForCaller("qvAPIGetClientDefinitionByName", ReadClientDefinition, lpNodeName,
                         lpNodeData);
}

extern "C" QVPAPI_EXPORT int qvAPIGetMasterDefinitionByName(const char* lpNodeName,
                                                            QVAPI_NODE* lpNodeData) {
    return ReadForCaller("qvAPIGetMasterDefinitionByName", ReadMasterDefinition, lpNodeName,
                         lpNodeData);
}

extern "C" QVPAPI_EXPORT int qvAPIGetNodeDefinitionByName(const char* lpNodeName,
                                                          QVAPI_NODE* lpNodeData) {
    return ReadForCaller("qvAPIGetNodeDefinitionByName", ReadNodeDefinition, lpNodeName,
                         lpNodeData);
}

extern "C" QVPAPI_EXPORT int qvAPIFindClientDefinition(const char* lpNodeName,
                                                       QVAPI_NODE* lpNodeData, uint32_t, uint32_t) {
    return FindForCaller("qvAPIFindClientDefinition", qvAPIGetClientDefinitionByName,
                         QVAPI_ERR_NOT_FOUND, lpNodeName, lpNodeData);
}

extern "C" QVPAPI_EXPORT int qvAPIFindMasterDefinition(const char* lpNodeName,
                                                       QVAPI_NODE* lpNodeData, uint32_t, uint32_t) {
    return FindForCaller("qvAPIFindMasterDefinition", qvAPIGetMasterDefinitionByName,
                         QVAPI_ERR_FILE_NOT_FOUND, lpNodeName, lpNodeData);
}

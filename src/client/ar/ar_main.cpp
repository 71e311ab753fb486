// Extraction entry point: finds the archive, lets the kind test route it, and extracts a
// new-format archive. (Module armain.)
#include "client/ar/ar_extract.h"
#include "client/ar/archiver.h"
#include "client/ar/ar_context.h"
#include "client/ar/ar_log.h"
#include "client/ar/unarchive.h"
#include "core/handles.h"

using namespace ar;

int qvparMain(const char* archive, const char* restore, int keep) {
    ArContext ctx;
    return qvparMain(ctx, archive, restore, keep);
}

int qvparMain(ArContext& ctx, const char* archive, const char* restore, int keep) {
    if (!archive || !*archive) {
        ctx.log(msg::kArchiveMissing, "");
        return kUnarcFailed;
    }
    {
        qvp::FileHandle probe(win::CreateFile(archive, win::GENERIC_READ, win::FILE_SHARE_READ,
                                              nullptr, win::OPEN_EXISTING, 0, nullptr));
        if (!probe.valid()) {
            ctx.log(msg::kArchiveMissing, archive);
            return kUnarcFailed;
        }
    }

    // Kind dispatch: encoded files and old-format archives are told apart here; whatever is
    // left is extracted as a new-format archive below.
    const QvpArInput input = qvparDispatchInput(archive, restore, keep);
    if (input.done) return input.result;
    archive = input.path.c_str();
    keep = input.keep;

    int result = qvparExtractNewFormat(ctx, archive, restore, keep);
    if (result != kUnarcOk) {
        if (!keep) win::DeleteFile(archive);
        ctx.log(msg::kNewFormatFailed, archive, result);
    }
    return result;
}

// The archiver's kind test, which routes an input file to the right reader (encoded files
// through the decoder first); what it shares with the decoder is in client/client_common.h.
#pragma once

#include <string>

#include "client/client_common.h"

// ---- kind test ------------------------------------------------------------------------------
// What the kind test leaves to the new-format extraction.
struct QvpArInput {
    bool done = false;   // handled (old format, or a failure): `result` is final
    int result = 0;
    std::string path;    // otherwise: the new-format archive to extract ...
    int keep = 0;        // ... and whether that file stays afterwards
};

// Encoded files are decoded first: without keep in place (the archive's own name then holds the
// decoded archive), with keep into a temporary file beside it that the extraction consumes, so
// the caller's file is never touched. Old-format archives are extracted here.
QvpArInput qvparDispatchInput(const char* archivePath, const char* restoreFolder, int keep);

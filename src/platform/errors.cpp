// The thread's one last-error slot (shared with qvAPISetLastError) and errno translation.
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/internal.h"

namespace win {
namespace {
thread_local DWORD t_lastError = 0;
thread_local int t_lastErrno = 0;  // the errno behind t_lastError, while it stands
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) {
    t_lastError = code;
    t_lastErrno = 0;
}

std::string LastErrorReason() {
    if (t_lastErrno == 0) return {};
    char text[128];
    return strerror_r(t_lastErrno, text, sizeof text);  // the GNU form: the text, wherever it is
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EBUSY: return detail::kErrorBusy;
    case EAGAIN: return ERROR_LOCK_VIOLATION;
    case EMFILE:
    case ENFILE: return detail::kErrorTooManyOpenFiles;
    case EXDEV: return detail::kErrorNotSameDevice;
    case EROFS: return detail::kErrorWriteProtect;
    case ELOOP: return detail::kErrorCantResolve;
    case EFBIG: return ERROR_DISK_FULL;
    case ENOTSUP: return ERROR_NOT_SUPPORTED;
    case ENOSYS: return ERROR_INVALID_FUNCTION;
    case EIO: return ERROR_READ_FAULT;
    case EILSEQ: return ERROR_INVALID_NAME;
    default: return ERROR_INVALID_FUNCTION;
    }
}

namespace detail {
BOOL FailErrno(int err) {
    SetLastError(ErrorFromErrno(err));
    t_lastErrno = err;
    return FALSE;
}
}  // namespace detail

}  // namespace win

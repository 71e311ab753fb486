// Library load and unload: the settings are read once when the library is loaded and the
// changed values written back when it is unloaded.
#include "core/settings.h"
#include "platform/win.h"

namespace {
__attribute__((constructor)) void QvpLibraryLoad() { qvpLoadSettings(); }
__attribute__((destructor)) void QvpLibraryUnload() { win::registry::Flush(); }
}  // namespace

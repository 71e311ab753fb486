// Library load and unload: the settings are read once when the library is loaded and the
// changed values written back when it is unloaded.
#include "platform/win.h"

namespace {
__attribute__((constructor)) void QvpLibraryLoad() { win::registry::Load(); }
__attribute__((destructor)) void QvpLibraryUnload() { win::registry::Flush(); }
}  // namespace

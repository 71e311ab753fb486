// Session memory: zeroed blocks from the calling thread's session arena; everything in it goes
// at close. None of these touch the thread's last-error value.
#pragma once

#include <cstddef>

void* qvpAPIAlloc(size_t size);
void* qvpAPIReAlloc(void* pointer, size_t size);
// Refuses (does nothing for) a pointer that is not of the calling thread's arena.
void qvpAPIFree(void* pointer);

// Tests: how many blocks the calling thread's arena holds (0 without one).
size_t qvpArenaBlockCountForTesting();

namespace qvp {
// The arena of one session. Created at open, destroyed at close.
class Arena;
Arena* CreateArena();
void DestroyArena(Arena* arena);
}  // namespace qvp

// runtime_test_seams.h: TEST SEAMS of the runtime library. Nothing in the program calls these; they let
// the tests reach state and paths that the program keeps to itself.
#pragma once
#include <windows.h>
#include <cstdint>
#include "runtime/block_pool.h"
#include "runtime/object_registry.h"

// The file library's registry; null before InitFileLibrary.
ObjectRegistry* FileRegistry();

// RunOnce's fallback on its own, so that it can be exercised where the platform routine exists: the
// flag word as 0 = not run, 1 = running, 2 = done.
void RunOnceInterlocked(volatile RunOnceFlag* flagWord, RunOnceFunction init);

// A pretend volume for WholeFileWriter: once this many bytes in all were written, a write fails as on
// a full disk (ERROR_DISK_FULL) after the bytes that fit. Below 0: the real volume alone. One thread.
void SetWriterRoom(int64_t bytes);

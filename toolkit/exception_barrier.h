// exception_barrier.h: no C++ exception may pass where the platform calls back into the program.
#pragma once

// Returns body's result, or failed when an exception reaches here. Window procedures and COM slots
// are called from the platform's C frames, which an exception cannot unwind through: it would end
// the process in std::terminate. Code of the program's own (hooks, gadget kinds, bound routines)
// runs inside them, so each such entry point answers as if nothing had been handled instead.
template <typename Result, typename Body> Result ResultOrOnException(Result failed, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

// Runs body; an exception that reaches here ends body only.
template <typename Body> void RunStoppingExceptions(Body body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

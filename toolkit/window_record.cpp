// window_record.cpp: where the window library keeps its registry and state record.
#include "toolkit/window_record.h"

static ObjectRegistry* windowRegistry;
static WindowLibraryState* windowLibraryState;

ObjectRegistry* WindowRegistry() { return windowRegistry; }
WindowLibraryState* WindowLibrary() { return windowLibraryState; }

void SetWindowLibraryGlobals(ObjectRegistry* registry, WindowLibraryState* state) {
    windowRegistry = registry;
    windowLibraryState = state;
}

// gadget_record.cpp: where the gadget library keeps its registry and state record.
#include "toolkit/gadget_record.h"

static ObjectRegistry* gadgetRegistry;
static GadgetLibraryState* gadgetLibraryState;

ObjectRegistry* GadgetRegistry() { return gadgetRegistry; }
GadgetLibraryState* GadgetLibrary() { return gadgetLibraryState; }

void SetGadgetLibraryGlobals(ObjectRegistry* registry, GadgetLibraryState* state) {
    gadgetRegistry = registry;
    gadgetLibraryState = state;
}

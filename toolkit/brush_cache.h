// brush_cache.h: solid brushes shared by colour and counted, so gadgets of one colour use one brush.
#pragma once
#include <windows.h>

// Initialises the cache's lock; called once by InitGadgetLibrary before any brush is taken.
void InitBrushCache();

// A brush of the colour: the cached one with its count raised, or a new one (count 1).
// Null when the cache is not initialised or no brush or entry can be made.
HBRUSH AcquireColorBrush(COLORREF color);
// Gives one reference back; the last one deletes the brush. A brush the cache does not hold changes nothing.
void ReleaseColorBrush(HBRUSH brush);

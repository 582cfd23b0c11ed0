// The control's own cursor shapes, registered in the cursor table once per process.
#pragma once

// Registers the custom shapes under their numbers on the first call; later calls only count.
void RegisterCustomCursors();
// Removes them again when the last registration is released.
void UnregisterCustomCursors();

// The after-change steps that image members end with. The display geometry and the painting
// arrive with the form layer; until then a changed image has nothing to recompute or repaint,
// and these steps only keep the call order that members rely on.
#include "control/cvaxLumoraMain.h"

void TaxLumora::UpdatePaintRects(bool, bool, bool) {}

void TaxLumora::RefreshPaintPalette(bool) {}

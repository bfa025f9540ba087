// The lamps of the form: a filled circle or rectangle with a black outline, in the
// colour the model gives (the button-face colour when off).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

namespace dd {

// A model colour (0x00RRGGBB or one of the platform colours) as Windows takes it.
COLORREF ToColorRef(uint32_t color);

HWND CreateLamp(HWND parent, bool round, int id);
void SetLampColor(HWND lamp, uint32_t color);
uint32_t LampColor(HWND lamp);

}  // namespace dd

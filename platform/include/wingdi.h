// GDI: the raster layer (declarations arrive with the raster layer).
#pragma once

#include <windef.h>

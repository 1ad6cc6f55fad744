// The small drawings of a layout tree in the editor and the scene windows share their region arithmetic
// with the scene cards, which build below this folder.
#pragma once

#include "layouts/LayoutPreviewRegions.h"

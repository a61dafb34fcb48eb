#pragma once
// Resource ids, shared by the resource script and the code. Plain macros: the
// resource compiler reads this file too.

#define TALOVERIC_ICON 1
#define TALOVERIC_MANIFEST 1

// The image libraries' side of the program: a module it loads only when it
// reads a disk image. The Sleuth Kit and libyal's container libraries bring
// some forty libraries, whose loading a run that reads registry files should
// not pay for.
#include "platform/offline/DiskImage.h"

// Throws SourceError, as DiskImage's constructor does.
extern "C" taloveric::DiskImage* taloveric_open_disk_image(const taloveric::SourceFile* image) {
  return new taloveric::DiskImage(*image);
}

extern "C" void taloveric_close_disk_image(taloveric::DiskImage* disk) { delete disk; }

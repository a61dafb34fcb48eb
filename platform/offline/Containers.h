#pragma once
// A disk's container, opened read-only by the library of its kind, which its
// first bytes tell: never a detection that tries one driver after another.
// A raw image or a disk is read through the descriptor the source was opened
// with, a VHD, VHDX or QCOW2 through libbfio over it; a VMDK's extents and an
// E01 set's segments, which their libraries open by name, are checked as
// those libraries read them first. Each container is the disk's bytes for
// the layers above.

#include <memory>

#include "platform/offline/FileKinds.h"
#include "platform/offline/TskImage.h"
#include "platform/posix/RegularFile.h"

namespace taloveric {

// Throws SourceError naming the image and what is wrong.
std::unique_ptr<ByteSource> OpenContainer(const SourceFile& image, Kind kind);

}  // namespace taloveric

// DiskImage loaded when the program first reads a disk image, from the module
// beside it (the build's bin folder) or where it is installed
// (lib/taloveric beside bin).
#include <dlfcn.h>

#include "platform/HiveFile.h"
#include "platform/offline/DiskImage.h"
#include "platform/posix/PosixFiles.h"

namespace taloveric {
namespace {

// libyal's libraries each carry their own copies of libbfio and libcdata and
// export them. Debian's libewf (for E01 images), loaded with the module, is
// older than the copies libcreg brought in with the program, and works only
// with its own: the module's libraries look up their own symbols first, or
// closing an E01 image crashes. (AddressSanitizer cannot run so: its builds
// link the image libraries in instead.)
constexpr int kOwnSymbolsFirst = RTLD_DEEPBIND;

using Open = DiskImage* (*)(const SourceFile*);
using Close = void (*)(DiskImage*);

struct Module {
  Open open = nullptr;
  Close close = nullptr;
  std::string problem;  // why it could not be loaded
};

const Module& Loaded() {
  static const Module module = [] {
    Module found;
    const std::filesystem::path here = ExecutableFolder();
    for (const std::filesystem::path& file :
         {here / "taloveric-images.so", here.parent_path() / "lib" / "taloveric" / "taloveric-images.so"}) {
      // Bound lazily: of the forty libraries the module brings, each binds
      // only what is called, where it was not built to bind all at once.
      void* handle = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL | kOwnSymbolsFirst);
      if (handle == nullptr) {
        found.problem = ::dlerror();  // where it is installed, the last tried, says most
        continue;
      }
      found.open = reinterpret_cast<Open>(::dlsym(handle, "taloveric_open_disk_image"));
      found.close = reinterpret_cast<Close>(::dlsym(handle, "taloveric_close_disk_image"));
      if (found.open != nullptr && found.close != nullptr) return found;
      found = {nullptr, nullptr, file.string() + " is not this program's image module"};
    }
    return found;
  }();
  return module;
}

}  // namespace

DiskImageHandle OpenDiskImage(const SourceFile& image) {
  const Module& module = Loaded();
  if (module.open == nullptr) {
    throw SourceError(image.Path().string() + ": disk images cannot be read, as the program's image module is missing (" +
                      module.problem + "); reinstall taloveric");
  }
  return {module.open(&image), module.close};
}

DiskImageHandle OpenDiskImage(const std::filesystem::path& image) {
  const SourceFile file(image);
  return OpenDiskImage(file);
}

}  // namespace taloveric

// The Sleuth Kit is linked into the image module, of its static library only
// what is called: its volume systems, its file systems, and its image layer
// for the readers of bytes the containers are. Its own readers of containers
// are never asked for (each container is opened by its own library, chosen
// from its first bytes), and its reader of AFF images, a format never read
// here, is answered here: so libafflib, and the libcurl it brings with some
// thirty libraries more, are not loaded.
#include <tsk/libtsk.h>

extern "C" TSK_IMG_INFO* aff_open(const TSK_TCHAR* const[], unsigned int) {
  tsk_error_reset();
  tsk_error_set_errno(TSK_ERR_IMG_UNSUPTYPE);
  tsk_error_set_errstr("AFF images are not read");
  return nullptr;
}

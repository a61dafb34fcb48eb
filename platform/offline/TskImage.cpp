#include "platform/offline/TskImage.h"

#include <cstdio>

namespace taloveric {
namespace {

// The Sleuth Kit's own declarations of what its image library exports.
extern "C" void* tsk_img_malloc(size_t size);
extern "C" void tsk_img_free(void* image);

struct SourceImage {
  TSK_IMG_INFO info;  // first, as The Sleuth Kit requires
  ByteSource* source;
};

ssize_t Read(TSK_IMG_INFO* image, TSK_OFF_T offset, char* buffer, size_t size) {
  if (offset < 0) return -1;
  return static_cast<ssize_t>(reinterpret_cast<SourceImage*>(image)->source->Read(static_cast<std::uint64_t>(offset), buffer, size));
}

void Close(TSK_IMG_INFO* image) {
  delete reinterpret_cast<SourceImage*>(image)->source;
  tsk_img_free(image);
}

void Stat(TSK_IMG_INFO*, FILE* out) { std::fputs("a layer of a disk\n", out); }

}  // namespace

TSK_IMG_INFO* OpenAsImage(std::unique_ptr<ByteSource> source, std::string& why) {
  auto* image = static_cast<SourceImage*>(tsk_img_malloc(sizeof(SourceImage)));
  if (image == nullptr) {
    why = "out of memory";
    return nullptr;
  }
  const auto size = static_cast<TSK_OFF_T>(source->Size());
  image->source = source.release();
  TSK_IMG_INFO* opened = tsk_img_open_external(image, size, 512, Read, Close, Stat);
  if (opened == nullptr) why = TskError();
  return opened;
}

std::string TskError() {
  const char* text = tsk_error_get();
  std::string message = text != nullptr ? text : "unknown error";
  tsk_error_reset();
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

}  // namespace taloveric

#pragma once
// What a libyal library (libewf, libqcow, libvhdi, libvmdk, libvshadow) says
// went wrong, as the user is told it.

#include <cstddef>
#include <string>

namespace taloveric {

// libyal's message: its lines run from the cause out, each after the name of
// the function that says it; the cause is said. `error` is freed.
template <class Error, class Print, class Free>
std::string Described(Error* error, Print print, Free free) {
  char text[1024] = "unknown error";
  if (error != nullptr) print(error, text, sizeof text);
  free(&error);
  std::string message = text;
  message = message.substr(0, message.find('\n'));
  if (const std::size_t colon = message.find(": "); colon != std::string::npos) message.erase(0, colon + 2);
  while (!message.empty() && (message.back() == '.' || message.back() == ' ')) message.pop_back();
  return message;
}

}  // namespace taloveric

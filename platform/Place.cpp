#include "platform/Place.h"

namespace taloveric {

Place Place::At(std::string inFileSystem) const {
  Place at = *this;
  at.path = std::move(inFileSystem);
  return at;
}

Place Place::Member(std::string name) const {
  Place at = *this;
  at.member = std::move(name);
  return at;
}

std::string DescribeLayers(const std::vector<Layer>& layers) {
  std::string out;
  for (const Layer& layer : layers) {
    std::string text;
    switch (layer.kind) {
      case Layer::Kind::Container:
        continue;
      case Layer::Kind::Partition:
        text = "partition " + std::to_string(layer.number) + " (" + (layer.format.empty() ? "" : layer.format + ", ") +
               "at byte " + std::to_string(layer.offset) + ")";
        break;
      case Layer::Kind::Volume:
        text = "the disk's file system (" + (layer.format.empty() ? "" : layer.format + ", ") + "at byte " +
               std::to_string(layer.offset) + ")";
        break;
      case Layer::Kind::ShadowCopy: {
        // "2024-05-01T10:00:00Z" as "2024-05-01 10:00 UTC"
        const std::string made = layer.date.size() >= 16 ? layer.date.substr(0, 10) + " " + layer.date.substr(11, 5) + " UTC"
                                                         : "";
        text = "shadow copy " + std::to_string(layer.number) + (made.empty() ? "" : " (made " + made + ")");
        break;
      }
    }
    out += (out.empty() ? "" : ", ") + text;
  }
  return out;
}

std::string Describe(const Place& place) {
  const std::string layers = DescribeLayers(place.layers);
  std::string out = place.source;
  if (!layers.empty()) out += ", " + layers;
  if (!place.path.empty()) out += (layers.empty() && place.layers.empty() ? "" : ":") + place.path;
  if (!place.member.empty()) out += "\\" + place.member;
  return out;
}

}  // namespace taloveric

#include "platform/Place.h"

#include <cstdio>
#include <iterator>

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

std::string SizeText(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  for (; value >= 1024 && unit + 1 < std::size(kUnits); ++unit) value /= 1024;
  // To a tenth, as disk tools show them, and a whole one without its ".0".
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string number = text;
  if (number.ends_with(".0")) number.resize(number.size() - 2);
  return number + " " + kUnits[unit];
}

std::string DescribeVolume(const Layer& layer) {
  std::string details = layer.format;
  if (layer.size != 0) details += (details.empty() ? "" : ", ") + SizeText(layer.size);
  if (!layer.label.empty()) details += (details.empty() ? "\"" : ", \"") + layer.label + "\"";
  const std::string name = layer.kind == Layer::Kind::Partition ? "partition " + std::to_string(layer.number)
                                                                : std::string("the disk's file system");
  return details.empty() ? name : name + " (" + details + ")";
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

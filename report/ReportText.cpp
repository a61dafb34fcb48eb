#include "report/ReportText.h"

namespace taloveric {

std::u16string ComposeReportText(const InstallInfo& info, const ReportExtras& extras) {
  const std::array<const std::u16string*, 12> values = {
      &info.MailAddress,    &info.RegisteredOwner,        &info.RegisteredOrg,  &info.ProductName,
      &info.WindowsVersion, &info.VersionNumber,          &extras.SubVersionNumber, &info.SystemRootDir,
      &extras.PlusProductId, &extras.PlusVersionNumber, &info.ProductId,      &info.ProductKey};
  std::u16string text;
  for (std::size_t line = 0; line < values.size(); ++line) {
    if (line > 0) text += u"\r\n";
    text += kReportLabels[line];
    text += *values[line];
  }
  return text;
}

std::vector<std::u16string> ReportLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  for (std::size_t next = 1; !text.empty(); ++next) {
    std::size_t end = std::u16string_view::npos;
    if (next < kReportLabels.size()) {
      end = text.find(u"\r\n" + std::u16string(kReportLabels[next]), start);
    }
    lines.emplace_back(text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
    if (end == std::u16string_view::npos) break;
    start = end + 2;
  }
  return lines;
}

}  // namespace taloveric

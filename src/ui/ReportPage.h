#pragma once
// "Bericht…" in the File menu of the production modes: the yield report of the last 30 days as an
// HTML page in a temporary file, opened in the default browser.
#include <optional>
#include <string>

#include "app/Journal.h"

namespace vst::ui {

// The days the menu's report covers, today included.
inline constexpr int kReportDays = 30;

// Writes the page of the journals under `root` (Windows-1252) for the kReportDays local days up to
// the day of `now` into `folder` (a new file whose name carries the process id and the time);
// its path, or nullopt when it could not be written.
std::optional<std::string> writeRecentReportPage(const std::string& root, const std::string& folder,
                                                 const app::JournalInstant& now);

// The page in the station's temporary folder, opened in the default browser; false when it could
// not be written or opened.
bool openRecentReport(const std::string& root);

}  // namespace vst::ui

#include "ui/ReportPage.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "app/Format.h"
#include "ops/YieldReport.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace vst::ui {

std::optional<std::string> writeRecentReportPage(const std::string& root, const std::string& folder,
                                                 const app::JournalInstant& now)
{
    const app::CivilDate today = app::localDateOf(now.utcMs, now.utcOffsetMin);
    ops::ReportFilter filter;
    filter.to = today;
    filter.from = app::civilFromDays(app::daysFromCivil(today) - (kReportDays - 1));
    const ops::YieldReport report = ops::readYieldReport(root, filter);
    const auto day = [](const app::CivilDate& d) { return app::formatText("%04d-%02d-%02d", d.year, d.month, d.day); };
    const std::string title = "Vestrolan yield report: " + platform::cp1252ToUtf8(root) + ", " + day(*filter.from) +
                              " - " + day(*filter.to);
    const std::string name = app::formatText("vestrolan-report-%u-%lld.html", static_cast<unsigned>(platform::processId()),
                                             static_cast<long long>(now.utcMs));
    const std::string path = platform::joinPath(folder, name);
    if (!platform::replaceFile(platform::osPath(path), ops::reportHtml(report, title))) return std::nullopt;
    return path;
}

bool openRecentReport(const std::string& root)
{
    const std::string folder = platform::stationPath(std::filesystem::path(QDir::tempPath().toStdU16String()));
    const auto path = writeRecentReportPage(root, folder, app::journalNow());
    if (!path) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdU16String(platform::osPath(*path).u16string())));
}

}  // namespace vst::ui

#include "ops/LogWindow.h"

#include "app/Records.h"

namespace vst::ops {

void LogWindow::appendLog(const std::string& text)
{
    size_t kept;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        kept = text_.size();
        text_ += text;
    }
    textChanged(kept, text);
}

void LogWindow::markLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    mark_ = text_.size();
}

void LogWindow::truncateLogToMark()
{
    size_t kept;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (mark_ < text_.size()) text_.resize(mark_);
        kept = text_.size();
    }
    textChanged(kept, std::string());
}

bool LogWindow::saveLog(const std::string& path, bool append)
{
    return app::writeTextFile(path, text(), append);
}

std::string LogWindow::text() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

}  // namespace vst::ops

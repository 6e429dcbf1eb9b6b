#include "ops/LogWindow.h"

#include "app/Records.h"

namespace vst::ops {

void LogWindow::appendLog(const std::string& text)
{
    std::string copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ += text;
        copy = text_;
    }
    textChanged(copy);
}

void LogWindow::markLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    mark_ = text_.size();
}

void LogWindow::truncateLogToMark()
{
    std::string copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (mark_ < text_.size()) text_.resize(mark_);
        copy = text_;
    }
    textChanged(copy);
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

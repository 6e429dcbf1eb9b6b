#pragma once
// The log of a workflow: text with CR LF line ends that the worker appends to, may cut back to
// a remembered length, and saves as a record file.
#include <mutex>
#include <string>

namespace vst::ops {

class LogWindow {
public:
    virtual ~LogWindow() = default;

    void appendLog(const std::string& text);
    // Remembers the current length.
    void markLog();
    // Keeps only the text up to the remembered length; nothing happens when the text is shorter.
    void truncateLogToMark();
    // Writes the whole text to the file, appending or replacing it; true when every byte was written.
    bool saveLog(const std::string& path, bool append);
    std::string text() const;

    // A log shown in a window: lets the operator close it (or not), and tells whether the operator
    // has closed it after reading. A log that no one sees counts as closed.
    virtual void allowClose(bool allowed = true) { (void)allowed; }
    virtual bool closedByOperator() const { return true; }

protected:
    // Called after every change, on the caller's thread, for a view to show the new text.
    virtual void textChanged(const std::string& text) { (void)text; }

private:
    mutable std::mutex mutex_;
    std::string text_;
    size_t mark_ = 0;
};

}  // namespace vst::ops

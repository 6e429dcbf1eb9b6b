#pragma once
// The log of a workflow: text with CR LF line ends that the worker appends to, may cut back to
// a remembered length, and saves as a record file.
#include <atomic>
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

    // The end of a workflow: the operator may now close the log (OK and Close enabled).
    virtual void allowClose() { closeAllowed_ = true; }
    // True once the operator has closed the log. A log without a window of its own (the console's)
    // counts as closed as soon as closing is allowed.
    virtual bool closedByOperator() const { return closeAllowed_.load(); }

protected:
    // Called after every change, on the caller's thread, for a view to follow: the text is now its
    // first `kept` bytes before the change followed by `appended`. A change costs what it changes,
    // however long the log has grown.
    virtual void textChanged(size_t kept, const std::string& appended)
    {
        (void)kept;
        (void)appended;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
    size_t mark_ = 0;
    std::atomic<bool> closeAllowed_{false};
};

}  // namespace vst::ops

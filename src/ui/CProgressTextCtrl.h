#pragma once
// A progress bar that paints its caption and the percentage over the bar: "caption (70%)". The
// caption is empty until a worker sets it; an empty caption shows the bar alone.
#include <QProgressBar>

namespace vst::ui {

class CProgressTextCtrl : public QProgressBar {
    Q_OBJECT
public:
    explicit CProgressTextCtrl(QWidget* parent = nullptr);

    // Sets what differs and repaints at once, only when something changed.
    void setTextAndPosition(const QString& caption, int position);
    // Set the caption or the position where it differs, then repaint at once.
    void setCaption(const QString& caption);
    void setPosition(int position);

    QString caption() const { return caption_; }
    // What is painted over the bar: "caption (p%)", or empty when the caption is empty or the
    // position lies outside the range.
    QString overlayText() const;
    // How many times the bar was repainted at once after a change.
    int repaintCount() const { return repaints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void repaintNow();

    QString caption_;
    int repaints_ = 0;
};

}  // namespace vst::ui

// Benchmark (scripts/bench-log.sh, not run by ctest): what appending a log line costs while the
// log grows to 10 000 lines, in the log alone (the console's) and in the window's log view with its
// redraws. For each block of 100 lines it measures the appends and then the view catching up, so a
// cost that grows with the log's length shows as a rising time per block.
#include <QApplication>
#include <QPlainTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ops/LogWindow.h"
#include "ui/COutputDlg.h"

using namespace vst;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLines = 10000;
constexpr int kBlock = 100;

std::string line(int n) { return "  - Zeile " + std::to_string(n) + ": Funktionsprüfung der Prozessliste\r\n"; }

// Microseconds per line of each block of 100 lines.
template <typename Append, typename CatchUp>
std::vector<double> measure(Append append, CatchUp catchUp)
{
    std::vector<double> perLine;
    for (int block = 0; block < kLines / kBlock; ++block) {
        const auto start = Clock::now();
        for (int i = 0; i < kBlock; ++i) append(block * kBlock + i);
        catchUp();
        const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
        perLine.push_back(spent.count() / kBlock);
    }
    return perLine;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void print(const char* what, double early, double late)
{
    std::printf("%-36s line 100: %9.2f us   line 10000: %9.2f us   ratio %.2f\n", what, early, late, late / early);
}

void report(const char* what, const std::vector<double>& perLine)
{
    // Around line 100 (blocks 2 to 6, the first one warms up) against the last five blocks.
    print(what, median({perLine.begin() + 1, perLine.begin() + 6}), median({perLine.end() - 5, perLine.end()}));
}

// For comparison, a view that shows every change by taking the whole text again (a copy, the
// conversion and a redraw of everything): the cost of one line at a log of `lines` lines.
double wholeTextRedraw(QPlainTextEdit& edit, int lines)
{
    std::string text;
    for (int n = 0; n < lines; ++n) text += line(n);
    std::vector<double> spent;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        std::string copy = text + line(lines);
        QString shown = QString::fromStdString(copy);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        edit.setPlainText(shown);
        QApplication::processEvents();
        spent.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return median(spent);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    ops::LogWindow plain;
    report("log (console)", measure([&](int n) { plain.appendLog(line(n)); }, [] {}));

    ui::COutputDlg view;
    view.show();
    report("log window (appends + redraw)", measure([&](int n) { view.appendLog(line(n)); },
                                                    [&] {
                                                        QApplication::processEvents();
                                                        view.showPendingText();
                                                    }));
    QPlainTextEdit before;
    before.show();
    print("whole-text redraw per line (before)", wholeTextRedraw(before, 100), wholeTextRedraw(before, kLines));

    const bool whole = view.textControl()->document()->blockCount() >= kLines;
    std::printf("log window shows %d lines%s\n", view.textControl()->document()->blockCount() - 1,
                whole ? "" : " (too few)");
    return whole ? 0 : 1;
}

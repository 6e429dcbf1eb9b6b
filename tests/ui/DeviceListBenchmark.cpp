// Benchmark (scripts/bench-list.sh, not run by ctest): the device list with 1000 devices. It
// measures the list taking 1000 answers one by one and drawing them, a sort by each column in both
// directions, and each keystroke of a filter typed letter by letter, every time with the list
// drawn again. Targets: all devices shown within 1 s of the last answer, a sort within 200 ms, a
// keystroke within 100 ms.
#include <QApplication>
#include <QHeaderView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CApp.h"
#include "ui/CDeviceListCtrl.h"

using namespace vst;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 1000;
constexpr int kRounds = 5;

std::unique_ptr<net::DeviceRecord> device(int n)
{
    static const char* const names[] = {"Kesselhaus", "Halle", "\xC4u\xDF" "eres Lager", "Z\xE4hler", "Pumpe", "bad"};
    auto r = std::make_unique<net::DeviceRecord>();
    r->productKind = n % 7 == 0 ? 1 : 0;
    r->mac = {0x02, 0x00, 0x00, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    r->name.assign(std::string(names[n % 6]) + " " + std::to_string((n * 7919) % 1000));
    r->serialNumber = n % 5 == 0 ? net::kNoSerialNumber : static_cast<uint32_t>((n * 104729) % 99999999);
    r->appVersion = 1.0f + static_cast<float>((n * 31) % 100) / 100.0f;
    r->bootloaderVersion = 1.01f;
    r->address = net::toNetworkOrder(0x0A000000u + static_cast<uint32_t>((n * 2654435761u) % 65000));
    r->rowStatus = n % 4;
    return r;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Lets the list lay out and paint what changed.
void draw(ui::CDeviceListCtrl& list)
{
    QApplication::processEvents();
    list.viewport()->repaint();
}

struct Figures {
    std::vector<double> fill, lastAnswerToDrawn, sort, keystroke;
};

void round(Figures& f)
{
    ui::CDeviceListCtrl list;
    list.resize(900, 600);
    list.show();
    draw(list);

    // The answers arrive one by one; the list is drawn as the event loop gets to it.
    const auto start = Clock::now();
    Clock::time_point lastAnswer;
    for (int n = 0; n < kDevices; ++n) {
        list.addDevice(device(n));
        if (n % 50 == 0) QApplication::processEvents();
        lastAnswer = Clock::now();
    }
    draw(list);
    f.fill.push_back(millisecondsSince(start));
    f.lastAnswerToDrawn.push_back(millisecondsSince(lastAnswer));

    for (int column = 1; column < ui::CDeviceListCtrl::kColumns; ++column) {
        for (bool descending : {false, true}) {
            const auto sorted = Clock::now();
            list.sortBy({column, descending});
            draw(list);
            f.sort.push_back(millisecondsSince(sorted));
        }
    }

    const QString typed = QStringLiteral("halle 1");
    for (int length = 1; length <= typed.size(); ++length) {
        const auto key = Clock::now();
        list.setFilter(typed.left(length));
        (void)list.shownCount();
        draw(list);
        f.keystroke.push_back(millisecondsSince(key));
    }
    for (int length = typed.size() - 1; length >= 0; --length) {
        const auto key = Clock::now();
        list.setFilter(typed.left(length));
        (void)list.shownCount();
        draw(list);
        f.keystroke.push_back(millisecondsSince(key));
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool report(const char* what, const std::vector<double>& v, double target)
{
    const double worst = *std::max_element(v.begin(), v.end());
    std::printf("%-40s median %8.2f ms   worst %8.2f ms   target %6.0f ms%s\n", what, median(v), worst, target,
                worst <= target ? "" : "   OVER");
    return worst <= target;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    app::CApp::instance().setTextIdOffset(app::kGermanOffset);
    Figures f;
    for (int i = 0; i < kRounds; ++i) round(f);
    std::printf("%d devices, %d rounds\n", kDevices, kRounds);
    bool ok = true;
    ok &= report("1000 answers taken and drawn", f.fill, 1000);
    ok &= report("last answer to all rows drawn", f.lastAnswerToDrawn, 1000);
    ok &= report("sort by a column (12 per round)", f.sort, 200);
    ok &= report("filter keystroke (14 per round)", f.keystroke, 100);
    return ok ? 0 : 1;
}

#include "ui/WindowChannel.h"

#include "ui/CMainDlg.h"

namespace vst::ui {

WindowChannel::WindowChannel(CMainDlg& window) : window_(window) {}

int WindowChannel::showMessage(const ops::TextWithValue& message)
{
    return onWindowThread([&] { return window_.showWorkerMessage(message); });
}

void WindowChannel::operationFinished()
{
    onWindowThread([&] { window_.workerFinished(); });
}

void WindowChannel::setHeading(const ops::TextWithValue& heading)
{
    onWindowThread([&] { window_.setHeading(heading); });
}

void WindowChannel::setStep(const ops::TextWithValue& step)
{
    onWindowThread([&] { window_.setStep(step); });
}

void WindowChannel::setStepPosition(int position)
{
    onWindowThread([&] { window_.setStepPosition(position); });
}

void WindowChannel::setStepText(const std::string& text)
{
    onWindowThread([&] { window_.setStepText(text); });
}

int WindowChannel::deviceCount()
{
    return onWindowThread([&] { return window_.deviceCount(); });
}

net::DeviceRecord* WindowChannel::deviceAt(int row)
{
    return onWindowThread([&] { return window_.deviceAt(row); });
}

void WindowChannel::addDevice(std::unique_ptr<net::DeviceRecord> record)
{
    onWindowThread([&] { window_.addDevice(std::move(record)); });
}

net::DeviceRecord* WindowChannel::replaceDevice(std::unique_ptr<net::DeviceRecord> record)
{
    return onWindowThread([&] { return window_.replaceDevice(std::move(record)); });
}

void WindowChannel::removeDevice(const net::DeviceRecord& record)
{
    onWindowThread([&] { window_.removeDevice(record); });
}

void WindowChannel::selectDevice(net::DeviceRecord* record)
{
    onWindowThread([&] { window_.selectDevice(record); });
}

net::DeviceRecord* WindowChannel::currentDevice()
{
    return onWindowThread([&] { return window_.currentDevice(); });
}

void WindowChannel::repaintList()
{
    onWindowThread([&] { window_.repaintList(); });
}

bool WindowChannel::mayContinue()
{
    return onWindowThread([&] { return window_.busy(); });
}

void WindowChannel::searchStarted()
{
    onWindowThread([&] { window_.searchStarted(); });
}

void WindowChannel::searchEnded()
{
    onWindowThread([&] { window_.searchEnded(); });
}

net::DeviceRecord* WindowChannel::onlyListedDevice()
{
    return onWindowThread([&] { return window_.takeOnlyListedDevice(); });
}

bool WindowChannel::enduranceActive()
{
    return onWindowThread([&] { return window_.enduranceActive(); });
}

bool WindowChannel::enterSerialNumber()
{
    return onWindowThread([&] { return window_.enterSerialNumber(); });
}

bool WindowChannel::releaseSerialNumber(uint32_t serial)
{
    return onWindowThread([&] { return window_.releaseSerialNumber(serial); });
}

std::optional<std::string> WindowChannel::askConfiguration(const std::string& configuration, bool editable)
{
    return onWindowThread([&] { return window_.askConfiguration(configuration, editable); });
}

bool WindowChannel::calibrate(config::CalibrationRequest& request)
{
    return onWindowThread([&] { return window_.calibrate(request); });
}

std::string WindowChannel::operatorSign()
{
    return onWindowThread([&] { return window_.operatorSign(); });
}

ops::LogWindow* WindowChannel::createLogWindow()
{
    return onWindowThread([&] { return window_.createLogWindow(); });
}

void WindowChannel::destroyLogWindow(ops::LogWindow* log)
{
    onWindowThread([&] { window_.destroyLogWindow(log); });
}

void WindowChannel::passwordRefused(const net::DeviceRecord& device)
{
    onWindowThread([&] { window_.passwordRefused(device); });
}

void WindowChannel::announceWait(const std::string& step, int seconds)
{
    onWindowThread([&] { window_.announceWait(step, seconds); });
}

}  // namespace vst::ui

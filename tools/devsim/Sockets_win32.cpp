#include "devsim/Sockets.h"

#include <mutex>

namespace vst::devsim {

bool startSockets(std::string* error)
{
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (result != 0 && error) *error = "WSAStartup: " + socketErrorText(result);
    return result == 0;
}

std::string socketErrorText(int error)
{
    char text[256] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), text,
                                          sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) result.pop_back();
    if (result.empty()) result = "Winsock error";
    return result + " (" + std::to_string(error) + ")";
}

}  // namespace vst::devsim

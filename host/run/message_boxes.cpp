#include "host/run/message_boxes.h"

#include <algorithm>
#include <vector>

namespace vento {

namespace {

constexpr int messageTextId = 0xFFFF;

std::wstring messageText(HWND box)
{
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, messageTextId, text, 1024);
    return text;
}

struct Search {
    const std::vector<HWND>* answered;
    HWND found;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<Search*>(context);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring_view(className) != L"#32770" || !IsWindowVisible(window) || !GetDlgItem(window, messageTextId))
        return TRUE;
    if (std::find(search.answered->begin(), search.answered->end(), window) != search.answered->end()) return TRUE;
    search.found = window;
    return FALSE;
}

} // namespace

MessageBoxAnswerer::MessageBoxAnswerer(DWORD threadId, WORD answer, Callback seen)
    : threadId_(threadId), answer_(answer), seen_(std::move(seen)), thread_([this] { run(); })
{
}

void MessageBoxAnswerer::stop()
{
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void MessageBoxAnswerer::run()
{
    std::vector<HWND> answered; // boxes stay findable for a moment after the answer
    while (!stopping_) {
        answered.erase(std::remove_if(answered.begin(), answered.end(), [](HWND h) { return !IsWindow(h); }), answered.end());
        Search search{&answered, nullptr};
        EnumThreadWindows(threadId_, &visitWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            Sleep(10);
            continue;
        }
        HWND box = search.found;
        std::wstring text = messageText(box);
        for (int tries = 0; text.empty() && tries < 200 && !stopping_; ++tries) {
            Sleep(10);
            text = messageText(box);
        }
        wchar_t caption[256] = {};
        GetWindowTextW(box, caption, 256);
        if (seen_) seen_({caption, text});
        answered.push_back(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
    }
}

} // namespace vento

#include "message_box_watcher.h"

#include <algorithm>
#include "window_watcher.h"

namespace vento::test {

namespace {
constexpr int messageTextId = 0xFFFF;

std::wstring messageText(HWND box)
{
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, messageTextId, text, 1024);
    return text;
}
} // namespace

MessageBoxWatcher::MessageBoxWatcher(DWORD threadId, WORD answer)
    : threadId_(threadId), answer_(answer), thread_([this] { run(); })
{
}

MessageBoxWatcher::~MessageBoxWatcher() { stop(); }

std::vector<MessageBoxWatcher::Box> MessageBoxWatcher::stop()
{
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

void MessageBoxWatcher::run()
{
    std::vector<HWND> answered; // boxes stay findable for a moment after the answer
    while (!stopping_) {
        answered.erase(std::remove_if(answered.begin(), answered.end(), [](HWND h) { return !IsWindow(h); }),
                       answered.end());
        HWND box = findThreadDialog(threadId_, L"");
        bool fresh = box && GetDlgItem(box, messageTextId) &&
                     std::find(answered.begin(), answered.end(), box) == answered.end();
        if (!fresh) {
            Sleep(10);
            continue;
        }
        std::wstring text = messageText(box);
        for (int tries = 0; text.empty() && tries < 200 && !stopping_; ++tries) {
            Sleep(10);
            text = messageText(box);
        }
        wchar_t caption[256] = {};
        GetWindowTextW(box, caption, 256);
        {
            std::lock_guard<std::mutex> hold(lock_);
            boxes_.push_back({caption, text});
        }
        answered.push_back(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
    }
}

} // namespace vento::test

#include "window_watcher.h"

#include <string_view>

namespace vento::test {

namespace {
struct Search {
    const std::wstring* prefix;
    HWND found;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t name[16] = {};
    if (!IsWindowVisible(window) || !GetClassNameW(window, name, 16) || std::wstring_view(name) != L"#32770")
        return TRUE;
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (std::wstring_view(caption).substr(0, search->prefix->size()) != *search->prefix) return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

HWND findThreadDialog(DWORD threadId, const std::wstring& captionPrefix)
{
    Search search{&captionPrefix, nullptr};
    EnumThreadWindows(threadId, &visitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogWatcher::DialogWatcher(DWORD threadId, std::wstring captionPrefix, WORD command, std::function<void(HWND)> look,
                             std::chrono::milliseconds limit)
    : threadId_(threadId), prefix_(std::move(captionPrefix)), command_(command), look_(std::move(look)), limit_(limit),
      thread_([this] { run(); })
{
}

DialogWatcher::~DialogWatcher()
{
    if (thread_.joinable()) thread_.join();
}

bool DialogWatcher::wait()
{
    if (thread_.joinable()) thread_.join();
    return posted_;
}

void DialogWatcher::run()
{
    auto deadline = std::chrono::steady_clock::now() + limit_;
    while (std::chrono::steady_clock::now() < deadline) {
        if (HWND dialog = findThreadDialog(threadId_, prefix_)) {
            wchar_t caption[256] = {};
            GetWindowTextW(dialog, caption, 256);
            caption_ = caption;
            if (look_) look_(dialog);
            posted_ = PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command_, BN_CLICKED), 0) != FALSE;
            return;
        }
        Sleep(20);
    }
}

} // namespace vento::test

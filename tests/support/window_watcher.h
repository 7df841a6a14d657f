#pragma once
// DialogWatcher: finds a visible top-level dialog ("#32770") of one thread from a thread of its own,
// while the watched thread sits in a modal loop (a property frame, a message box), looks at it and
// posts a command to it, as a user's click would.
//
//   vento::test::DialogWatcher watcher(GetCurrentThreadId(), L"Properties for", IDCANCEL,
//                                      [&](HWND frame) { pageSeen = FindWindowExW(frame, ...); });
//   OleCreatePropertyFrame(...);   // returns once the watcher posted IDCANCEL
//   EXPECT_TRUE(watcher.wait());
//
// The look-at callback runs on the watcher's thread. When no dialog shows up within the time limit
// the watcher gives up (wait() answers false) and the test thread stays where it is: tests run
// under a time limit of their own.
#include <windows.h>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace vento::test {

class DialogWatcher {
public:
    DialogWatcher(DWORD threadId, std::wstring captionPrefix, WORD command, std::function<void(HWND)> look = {},
                  std::chrono::milliseconds limit = std::chrono::seconds(30));
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // Waits for the watcher to finish; true when it found the dialog and posted the command.
    bool wait();
    // The caption of the dialog found (empty until then).
    const std::wstring& caption() const noexcept { return caption_; }

private:
    void run();

    DWORD threadId_;
    std::wstring prefix_;
    WORD command_;
    std::function<void(HWND)> look_;
    std::chrono::milliseconds limit_;
    std::wstring caption_;
    bool posted_ = false;
    std::thread thread_;
};

// The visible top-level dialog of `threadId` whose caption starts with `captionPrefix`; null if none.
HWND findThreadDialog(DWORD threadId, const std::wstring& captionPrefix);

} // namespace vento::test

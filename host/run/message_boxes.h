#pragma once
// MessageBoxAnswerer: answers the message boxes shown on one thread, as a user at the screen would,
// from a thread of its own, and tells a callback what each said. A headless run uses it so that a
// module's modal message box never waits for a user who is not there.
//
//   vento::MessageBoxAnswerer answerer(GetCurrentThreadId(), IDOK,
//                                      [](const vento::MessageBoxSeen& box) { log(box.text); });
//   ...                 // the watched thread shows boxes; each is answered
//   answerer.stop();    // before the watched thread's windows go
//
// It looks for the thread's visible "#32770" boxes that hold a message text (static control 0xFFFF),
// waits until the text is set (the box can be found a moment before it is), hands caption and text
// to the callback (on the answerer's thread, while the box is still up), then posts the answer.
#include <windows.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace vento {

struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
};

class MessageBoxAnswerer {
public:
    using Callback = std::function<void(const MessageBoxSeen&)>;
    // `answer`: the button pressed (IDOK, IDYES, IDNO ...).
    MessageBoxAnswerer(DWORD threadId, WORD answer, Callback seen);
    ~MessageBoxAnswerer() { stop(); }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    void stop();

private:
    void run();

    DWORD threadId_;
    WORD answer_;
    Callback seen_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace vento

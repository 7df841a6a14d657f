#pragma once
// MessageBoxWatcher: answers the message boxes that the code under test shows on one thread, as a
// user would, and records what they said.
//
//   vento::test::MessageBoxWatcher watcher;        // watches the calling thread
//   EXPECT_EQ(SELFREG_E_CLASS, registerServer());  // shows a box; the watcher presses OK
//   auto boxes = watcher.stop();
//   ASSERT_EQ(1u, boxes.size());
//   EXPECT_EQ(L"...", boxes[0].text);
//
// The engine's MessageBoxAnswerer does the finding and answering; it goes on answering until
// stop(), so a second box is counted rather than left hanging.
#include <windows.h>
#include <mutex>
#include <string>
#include <vector>
#include "host/run/message_boxes.h"

namespace vento::test {

class MessageBoxWatcher {
public:
    struct Box {
        std::wstring caption;
        std::wstring text;
    };

    // `answer`: the button pressed (IDOK, IDYES, IDNO ...).
    explicit MessageBoxWatcher(DWORD threadId = GetCurrentThreadId(), WORD answer = IDOK);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Stops watching and answers every box seen, in order. Call once the code under test returned.
    std::vector<Box> stop();

private:
    std::mutex lock_;
    std::vector<Box> boxes_;
    MessageBoxAnswerer answerer_; // last: its thread uses the members above
};

} // namespace vento::test

#include "message_box_watcher.h"

namespace vento::test {

MessageBoxWatcher::MessageBoxWatcher(DWORD threadId, WORD answer)
    : answerer_(threadId, answer, [this](const MessageBoxSeen& box) {
          std::lock_guard<std::mutex> hold(lock_);
          boxes_.push_back({box.caption, box.text});
      })
{
}

MessageBoxWatcher::~MessageBoxWatcher() { stop(); }

std::vector<MessageBoxWatcher::Box> MessageBoxWatcher::stop()
{
    answerer_.stop();
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

} // namespace vento::test

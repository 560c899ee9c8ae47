#pragma once

#include <functional>
#include <string>

namespace pg {

// Messages for the operator (the classic message box with one OK button and a title). The
// window installs a sink that shows a message box on the window thread; without one (the
// headless daemon) the message goes to stderr as "title: text" and to the system log at
// level 1. Never blocks the calling thread for the operator, except where a sink chooses to.
class OperatorMessage {
  public:
    // owner: the window handle the message belongs to (may be null).
    using Sink =
        std::function<void(void* owner, const std::string& title, const std::string& text)>;

    static void Show(void* owner, const std::string& title, const std::string& text);
    // Null restores the headless behaviour.
    static void SetSink(Sink sink);
};

}  // namespace pg

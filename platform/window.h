#pragma once
// Posting a message to a window. Worker threads never touch the screen: they post a message and
// go on; the front end that owns the window handles it later on its own thread. A payload is
// owned by the message, so nothing the poster frees afterwards can be read by the handler.

#include <cstdint>
#include <memory>

namespace veltra::platform {

inline constexpr unsigned kWmUser = 0x0400;

struct MessagePayload {
    virtual ~MessagePayload() = default;
};

struct WindowMessage {
    unsigned id = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
    std::unique_ptr<MessagePayload> payload;

    // The payload as the type that the message's id promises, or null.
    template <typename T>
    const T* PayloadAs() const {
        return dynamic_cast<const T*>(payload.get());
    }
    template <typename T>
    std::unique_ptr<T> TakePayload() {
        if (dynamic_cast<T*>(payload.get()) == nullptr) {
            return nullptr;
        }
        return std::unique_ptr<T>(static_cast<T*>(payload.release()));
    }
};

// Implemented by each front end. PostMessage may be called from any thread and never waits for
// the message to be handled.
class MessageWindow {
  public:
    virtual ~MessageWindow() = default;
    virtual void PostMessage(WindowMessage message) = 0;
};

}  // namespace veltra::platform

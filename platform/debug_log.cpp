#include "platform/debug_log.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

}  // namespace

void DebugLog(std::wstring_view line) {
    std::lock_guard guard(SinkMutex());
    if (Sink()) {
        Sink()(line);
        return;
    }
    const std::string text = WideToUtf8(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard guard(SinkMutex());
    return std::exchange(Sink(), std::move(sink));
}

}  // namespace veltra::platform

#include "receiving/download_context.h"

namespace veltra {

void TransferCancel::Cancel() {
    std::lock_guard guard(mutex_);
    shut_down_ = true;
    if (socket_) {
        socket_->Abort();
    }
}

bool TransferCancel::CancelBatch() {
    std::lock_guard guard(mutex_);
    if (!running_ || shut_down_) {
        return false;
    }
    batch_cancelled_ = true;
    if (socket_) {
        socket_->Abort();
    }
    return true;
}

void TransferCancel::BeginBatch() {
    std::lock_guard guard(mutex_);
    running_ = true;
    batch_cancelled_ = false;
}

void TransferCancel::EndBatch() {
    std::lock_guard guard(mutex_);
    running_ = false;
    batch_cancelled_ = false;
}

bool TransferCancel::Attach(const platform::Socket& socket) {
    std::lock_guard guard(mutex_);
    if (Cancelled()) {
        return false;
    }
    socket_ = &socket;
    return true;
}

void TransferCancel::Detach() {
    std::lock_guard guard(mutex_);
    socket_ = nullptr;
}

}  // namespace veltra

#include "receiving/download_context.h"

namespace veltra {

void TransferCancel::Cancel() {
    std::lock_guard guard(mutex_);
    cancelled_ = true;
    if (socket_) {
        socket_->Interrupt();
    }
}

bool TransferCancel::Attach(const platform::Socket& socket) {
    std::lock_guard guard(mutex_);
    if (cancelled_) {
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

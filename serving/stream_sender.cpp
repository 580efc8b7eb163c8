#include "serving/stream_sender.h"

namespace veltra {

void StreamSender::NoteGathering() {
    if (gathered_.empty()) {
        first_gathered_ = time_.Now();
    }
}

bool StreamSender::Append(std::string_view text) {
    NoteGathering();
    gathered_ += text;
    return SendIfDue();
}

bool StreamSender::AppendContent(std::optional<platform::File> file, std::size_t size) {
    NoteGathering();
    const std::size_t start = gathered_.size();
    // The file is read straight into the buffer; what it does not yield stays zero.
    gathered_.resize(start + size);
    if (file) {
        std::size_t got = 0;
        while (got < size) {
            const platform::IoResult read = file->Read(gathered_.data() + start + got, size - got);
            if (!read.Moved()) {
                break;
            }
            got += read.bytes;
        }
    }
    return SendIfDue();
}

bool StreamSender::Flush() {
    if (gathered_.empty()) {
        return true;
    }
    const bool sent = connection_.SendAll(gathered_.data(), gathered_.size());
    gathered_.clear();
    return sent;
}

bool StreamSender::SendIfDue() {
    if (gathered_.size() >= kGatherBytes || time_.Now() - first_gathered_ >= kGatherWait) {
        return Flush();
    }
    return true;
}

}  // namespace veltra

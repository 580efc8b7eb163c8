#include "receiving/received_file.h"

#include <system_error>

namespace veltra {

ReceivedFile::ReceivedFile(const platform::Folder& folder, std::wstring_view name)
    : folder_(folder), name_(name) {
    file_ = platform::File::CreateNew(folder_, name_);
    if (file_) {
        written_name_ = name_;
    } else {
        file_ = platform::File::CreateTemporary(folder_, written_name_);
    }
}

ReceivedFile::~ReceivedFile() {
    if (!settled_) {
        Abandon({});
    }
}

void ReceivedFile::Write(const char* data, std::size_t size) {
    file_->WriteAll(data, size);
    written_ += size;
}

void ReceivedFile::Commit() {
    // Closed before it is named, so whoever finds it under its name finds it complete.
    file_.reset();
    if (written_name_ != name_) {
        folder_.Rename(written_name_, name_);
    }
    settled_ = true;
}

void ReceivedFile::Abandon(std::wstring_view partial_name) {
    file_.reset();
    settled_ = true;
    if (!partial_name.empty() && written_ > 0) {
        try {
            folder_.Rename(written_name_, partial_name);
            return;
        } catch (const std::system_error&) {
            // removed below: a partial file never keeps the real name
        }
    }
    folder_.Remove(written_name_);
}

}  // namespace veltra

#include "quorvalib/files/AfileStream.h"

std::streamsize AfileDevice::read(char* buffer, std::streamsize count) {
    size_t got = 0;
    if (!file_ || !file_->Read(buffer, static_cast<size_t>(count), got)) {
        throw std::ios_base::failure("read failed");  // the stream turns this into badbit
    }
    return got == 0 ? -1 : static_cast<std::streamsize>(got);
}

std::streamsize AfileDevice::write(const char* data, std::streamsize count) {
    if (!file_ || !file_->Write(data, static_cast<size_t>(count))) {
        throw std::ios_base::failure("write failed");
    }
    return count;
}

std::streampos AfileDevice::seek(boost::iostreams::stream_offset offset,
                                 std::ios_base::seekdir way) {
    if (!file_) throw std::ios_base::failure("seek without file");
    const int origin = way == std::ios_base::beg   ? Afile::kSeekBegin
                       : way == std::ios_base::cur ? Afile::kSeekCurrent
                                                   : Afile::kSeekEnd;
    file_->ClearError();
    const uint64_t at = file_->Seek(offset, origin);
    if (file_->LastError() != Afile::kErrorNone) throw std::ios_base::failure("seek failed");
    return static_cast<std::streamoff>(at);
}

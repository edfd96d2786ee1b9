#include "quorvalib/core/AsyncMd5.h"

namespace quorvalib::core {

AsyncMd5::AsyncMd5(const Astring& path, NotifiedBase* progressDispatcher)
    : path_(path), progress_(progressDispatcher) {}

bool AsyncMd5::Run() {
    if (IsCancelled()) {
        if (file_.IsOpen()) file_.Close();
        return false;
    }
    if (!file_.IsOpen()) {
        if (!file_.OpenRead(path_)) {
            error_ = file_.PlatformError() != 0 ? file_.PlatformError() : file_.LastError();
            return false;
        }
        md5_.Start();
    }
    size_t got = 0;
    const bool ok = file_.Read(chunk_.data(), chunk_.size(), got);
    if (ok && got > 0) {
        progress_.Add(got);
        md5_.Add(chunk_.data(), got);
        return true;
    }
    // The end of the file, or a read error that ends the digest just the same.
    error_ = ok ? 0 : file_.LastError();
    file_.Close();
    md5_.Finish();
    digested_ = error_ == 0;
    return false;
}

bool AsyncMd5::Cancel() {
    cancelled_.store(true, std::memory_order_release);
    return true;
}

Astring AsyncMd5::HexDigest() const { return digested_ ? md5_.HexDigest() : Astring(); }

}  // namespace quorvalib::core

#pragma once

// The MD5 digest of one file as a job: each Run() step reads one chunk of at most 65535
// bytes, so the job thread handles messages (and cancellation) between chunks.
//
//   auto job = std::make_unique<AsyncMd5>(path, myThread);          // progress on myThread
//   Connect(*this, job->Progress().Progress(), &Me::OnProgress);     // ProgressMonitorEvent
//   request->job = std::move(job); AthrMan::Global()->StartJob(request);
//   ... in the JobFinishedEvent handler, once the job is ours again:
//   auto* md5 = static_cast<AsyncMd5*>(event.job.get());
//   if (md5->Error() == 0) use(md5->HexDigest());
// Give the finished notifier the same dispatcher thread as the progress, so every progress
// event is delivered before the finished event hands the job (and its notifier) back.

#include <array>
#include <atomic>
#include <cstdint>

#include "quorvalib/core/IJob.h"
#include "quorvalib/core/ProgressMonitor.h"
#include "quorvalib/files/Afile.h"
#include "quorvalib/files/Astring.h"
#include "quorvalib/files/Md5.h"

namespace quorvalib::core {

class AsyncMd5 : public IJob {
public:
    static constexpr uint32_t kKind = 1024;
    static constexpr size_t kChunkSize = 65535;

    // `progressDispatcher`: the thread on which progress events are delivered (null: on the
    // job thread, during the step).
    AsyncMd5(const Astring& path, NotifiedBase* progressDispatcher);

    bool Run() override;
    // Always true: the job stops by itself at its next step, without a digest.
    bool Cancel() override;
    bool IsCancelled() const override { return cancelled_.load(std::memory_order_acquire); }
    uint32_t Kind() const override { return kKind; }

    ProgressMonitor& Progress() { return progress_; }
    const Astring& Path() const { return path_; }

    // Read these only after the job finished. 0 on success; otherwise the platform error of a
    // failed open (ENOENT for a missing file) or the file's error code after a failed read.
    int Error() const { return error_; }
    // True when the whole file was digested.
    bool HasDigest() const { return digested_; }
    // 32 lower-case hexadecimal digits; empty without a digest.
    Astring HexDigest() const;

private:
    const Astring path_;
    ProgressMonitor progress_;
    Md5 md5_;
    Afile file_;
    std::array<uint8_t, kChunkSize> chunk_;
    std::atomic<bool> cancelled_{false};
    int error_ = 0;
    bool digested_ = false;
};

}  // namespace quorvalib::core

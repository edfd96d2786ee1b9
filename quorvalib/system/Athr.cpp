#include "quorvalib/system/Athr.h"

#include "common/debug/Log.h"
#include "quorvalib/core/Event.h"
#include "quorvalib/core/JobRequest.h"
#include "quorvalib/core/Messages.h"
#include "quorvalib/eventloop/AsyncCallLoopSource.h"
#include "quorvalib/eventloop/EventDispatcherLoopSource.h"
#include "quorvalib/eventloop/EventLoop.h"
#include "quorvalib/eventloop/JobStarterLoopSource.h"
#include "quorvalib/platform/ThreadQueue.h"

TOV_DEFINE_LOG_CHANNEL(Athr);

namespace core = quorvalib::core;
namespace eventloop = quorvalib::eventloop;
namespace platform = quorvalib::platform;

namespace {

// Frees what a message that will never be handled carries.
void FreeUnhandled(const platform::ThreadMessage& message) {
    if (message.message == core::kMsgDeliverEvent) {
        delete reinterpret_cast<core::Event*>(message.lparam);
    } else if (message.message == core::kMsgStartJob && message.wparam == core::kStartJobTag) {
        delete reinterpret_cast<core::JobRequest*>(message.lparam);
    }
}

}  // namespace

Athr::Athr()
    : loop_(std::make_unique<eventloop::EventLoop>(this)),
      starter_(std::make_unique<eventloop::JobStarterLoopSource>()),
      dispatcher_(std::make_unique<eventloop::EventDispatcherLoopSource>()),
      calls_(std::make_unique<eventloop::AsyncCallLoopSource>(this)) {
    starter_->SetAutoDelete(false);
    dispatcher_->SetAutoDelete(false);
    calls_->SetAutoDelete(false);
    starter_->Attach(loop_.get());
    dispatcher_->Attach(loop_.get());
    calls_->Attach(loop_.get());
}

Athr::~Athr() {
    if (thread_.IsCurrentThread()) thread_.Detach();  // the thread let go of us last
    else thread_.Join();
    // The loop goes first: it deletes its auto-delete sources (and their jobs) and lets go of
    // the message sources, which die after it.
    loop_.reset();
}

bool Athr::IsCurrentThread() const { return thread_.IsCurrentThread(); }

bool Athr::CreateThread(size_t stackSize) {
    if (thread_.Started()) return true;
    std::shared_ptr<Athr> self = weak_from_this().lock();
    if (!self) {
        TOV_LOG_ERROR(Athr, "Athr::CreateThread: thread object %p is not owned by a shared_ptr.",
                      static_cast<const void*>(this));
        return false;
    }
    startEvent_ = std::make_unique<platform::SyncEvent>(platform::SyncEvent::Mode::Auto);
    int error = 0;
    if (!thread_.Create(stackSize, [self]() mutable { self->ThreadBody(std::move(self)); },
                        &error)) {
        TOV_LOG_ERROR(Athr, "Athr::CreateThread: thread creation failed with error %d.", error);
        threadId_ = 0;
        finished_ = true;
        finishedEvent_.Set();
        return false;
    }
    threadId_.store(thread_.Id(), std::memory_order_release);
    thread_.Resume();
    return startEvent_->Wait(kStartTimeoutMs);
}

void Athr::ThreadBody(std::shared_ptr<Athr> self) {
    if (InitInstance()) Run();
    exitCode_ = ExitInstance();
    finished_.store(true, std::memory_order_release);
    // Messages that arrived too late die with the queue; free what they own.
    platform::ThreadMessage message;
    while (loop_->TakeUndispatchedMessage(message)) FreeUnhandled(message);
    for (const platform::ThreadMessage& left : platform::CloseThreadQueue()) FreeUnhandled(left);
    finishedEvent_.Set();
    self.reset();  // may destroy this object, here on its own thread
}

bool Athr::InitInstance() {
    if (!startEvent_) return true;
    // Posting to ourselves and taking it back proves the queue exists before anyone posts.
    platform::EnsureThreadQueue();
    bool ok = platform::PostThreadMessage(platform::CurrentThreadId(), core::kMsgCreateQueue, 0, 0);
    int error = ok ? 0 : platform::LastError();
    platform::ThreadMessage message;
    if (ok && !platform::PeekThreadMessage(message, true)) ok = false;
    startEvent_->Set();
    if (!ok) {
        TOV_LOG_ERROR(Athr, "Error %d when creating WIN32 msg queue for thread %p", error,
                      static_cast<const void*>(this));
        return false;
    }
    return true;
}

void Athr::Run() {
    loop_->Run();
    finished_.store(true, std::memory_order_release);
}

int Athr::ExitInstance() {
    finished_.store(true, std::memory_order_release);
    return 0;
}

bool Athr::Stopped() const { return Finished() || loop_->HasQuit(); }

bool Athr::PostMsg(uint32_t message, intptr_t lparam, uintptr_t wparam) {
    if (Stopped()) return false;
    const uint32_t id = ThreadId();
    if (platform::PostThreadMessage(id, message, wparam, lparam)) return true;
    if (Stopped()) return false;  // quit between the check and the post
    TOV_LOG_ERROR(Athr, "Failed posting of message %04X to Thread %u with error %d", message, id,
                  platform::LastError());
    return false;
}

bool Athr::PostCall(std::function<void()> call) {
    return eventloop::PostCall(*calls_, std::move(call));
}

bool Athr::WaitFinished(uint32_t timeoutMs) { return finishedEvent_.Wait(timeoutMs); }

void Athr::Join() {
    if (!abandoned_) thread_.Join();
}

bool Athr::HardStop() {
    PostMsg(platform::kWmQuit, 0, 0);
    // Never started: nothing to wait for. On its own thread: it cannot wait for itself.
    if (!thread_.Started()) return true;
    if (thread_.IsCurrentThread()) return false;
    if (finishedEvent_.Wait(kStopTimeoutMs)) {
        thread_.Join();
        return true;
    }
    // No thread can be killed safely here: leave it to end by itself. Its body holds a
    // reference to this object, so whatever it still touches stays alive.
    TOV_LOG_WARNING(Athr, "Forced termination of thread #%d.", ThreadId());
    abandoned_ = true;
    thread_.Detach();
    return false;
}

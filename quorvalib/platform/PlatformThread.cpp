#include "quorvalib/platform/PlatformThread.h"

#include <pthread.h>

#include <climits>
#include <condition_variable>
#include <mutex>

#include "quorvalib/platform/ThreadQueue.h"

namespace quorvalib::platform {

static_assert(sizeof(pthread_t) == sizeof(unsigned long), "pthread_t must fit the handle");

struct PlatformThread::State {
    std::mutex lock;
    std::condition_variable changed;
    uint32_t id = 0;
    bool resumed = false;
    bool cancelled = false;
    std::function<void()> body;
};

namespace {

void* ThreadStart(void* argument) {
    // The creator handed over one reference to the shared state.
    std::unique_ptr<std::shared_ptr<PlatformThread::State>> handed(
        static_cast<std::shared_ptr<PlatformThread::State>*>(argument));
    std::shared_ptr<PlatformThread::State> state = std::move(*handed);
    handed.reset();
    std::function<void()> body;
    {
        std::unique_lock guard(state->lock);
        state->id = CurrentThreadId();
        state->changed.notify_all();
        state->changed.wait(guard, [&] { return state->resumed; });
        if (state->cancelled) return nullptr;
        body = std::move(state->body);
    }
    state.reset();
    body();
    return nullptr;
}

}  // namespace

PlatformThread::PlatformThread() = default;

PlatformThread::~PlatformThread() {
    if (state_ && !resumed_) {
        {
            std::lock_guard guard(state_->lock);
            state_->cancelled = true;
            state_->resumed = true;
        }
        state_->changed.notify_all();
        Join();
    }
    Detach();
}

bool PlatformThread::Create(size_t stackSize, std::function<void()> body, int* error) {
    if (state_) return true;
    if (stackSize == 0) stackSize = kDefaultStackSize;
    stackSize = (stackSize + 4095) / 4096 * 4096;
    if (stackSize < static_cast<size_t>(PTHREAD_STACK_MIN)) stackSize = PTHREAD_STACK_MIN;

    auto state = std::make_shared<State>();
    state->body = std::move(body);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackSize);
    auto handed = std::make_unique<std::shared_ptr<State>>(state);
    pthread_t handle;
    const int result = pthread_create(&handle, &attributes, ThreadStart, handed.get());
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        if (error) *error = result;
        return false;
    }
    handed.release();  // now owned by ThreadStart
    {
        std::unique_lock guard(state->lock);
        state->changed.wait(guard, [&] { return state->id != 0; });
        id_ = state->id;
    }
    state_ = std::move(state);
    handle_ = static_cast<unsigned long>(handle);
    joinable_ = true;
    return true;
}

void PlatformThread::Resume() {
    if (!state_ || resumed_) return;
    resumed_ = true;
    {
        std::lock_guard guard(state_->lock);
        state_->resumed = true;
    }
    state_->changed.notify_all();
}

bool PlatformThread::IsCurrentThread() const {
    return id_ != 0 && id_ == CurrentThreadId();
}

void PlatformThread::Join() {
    if (!joinable_ || IsCurrentThread()) return;
    pthread_join(static_cast<pthread_t>(handle_), nullptr);
    joinable_ = false;
}

void PlatformThread::Detach() {
    if (!joinable_) return;
    pthread_detach(static_cast<pthread_t>(handle_));
    joinable_ = false;
}

}  // namespace quorvalib::platform

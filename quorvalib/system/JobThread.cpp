#include "quorvalib/system/JobThread.h"

void JobThread::SetJobState(uint32_t marker, quorvalib::core::IJob* job) {
    job_.store(job, std::memory_order_release);
    busy_.store(marker, std::memory_order_release);
}

bool JobThread::InitInstance() {
    busy_.store(quorvalib::eventloop::kJobIdleAfterStart, std::memory_order_release);
    return Athr::InitInstance();
}

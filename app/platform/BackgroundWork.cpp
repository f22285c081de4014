#include "app/platform/BackgroundWork.h"

namespace vela {

std::stop_source BackgroundWork::start(std::function<void(std::stop_token)> body) {
    std::erase_if(jobs_, [](const Job& job) { return job.done->load(); });
    auto done = std::make_shared<std::atomic<bool>>(false);
    Job& job =
        jobs_.emplace_back(Job{std::jthread([body = std::move(body), done](std::stop_token stop) {
                                   body(stop);
                                   done->store(true);
                               }),
                               done});
    return job.thread.get_stop_source();
}

void BackgroundWork::shutDown() {
    alive_.reset();
    for (Job& job : jobs_)
        job.thread.request_stop();
    jobs_.clear();  // joins
}

}  // namespace vela

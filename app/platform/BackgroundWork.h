#pragma once
// Work off the main thread for a long-lived main-thread owner (the application, the
// panel), and the owner's callbacks that must do nothing once it is gone.
//
// `run` starts `work(stop)` on a thread of its own; when it returns and was not stopped,
// `deliver(result)` runs later on the main loop, unless the owner is gone or the job was
// stopped meanwhile (a superseded request: its stale answer is dropped). `guard` wraps a
// callback (a signal, a hot key, an asynchronous GIO reply) so that it does nothing after
// the owner is gone; `post` defers a guarded closure to the main loop.
//
// Ownership: a member of its owner, destroyed with it (or earlier by `shutDown`), which
// stops and joins every job. Work must therefore only reference what outlives this object.
// Threads: every member is main-thread only; guarded callbacks and deliveries run on the
// main thread. `work` runs on its own thread. Nothing here fails.

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/platform/MainThread.h"

namespace vela {

class BackgroundWork {
  public:
    BackgroundWork() = default;
    ~BackgroundWork() { shutDown(); }
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Returns the job's stop source: stopping it cancels the job and its delivery.
    template <typename Work, typename Deliver>
    std::stop_source run(Work work, Deliver deliver) {
        using Result = std::invoke_result_t<Work&, std::stop_token>;
        return start([alive = std::weak_ptr<const bool>(alive_), work = std::move(work),
                      deliver = std::move(deliver)](std::stop_token stop) mutable {
            Result result = work(stop);
            if (stop.stop_requested())
                return;
            postToMainThread([alive, stop, deliver, result = std::move(result)]() mutable {
                if (!alive.expired() && !stop.stop_requested())
                    deliver(std::move(result));
            });
        });
    }

    // `callback` while the owner lives; afterwards a call does nothing.
    template <typename Callback>
    auto guard(Callback callback) const {
        return [alive = std::weak_ptr<const bool>(alive_),
                callback = std::move(callback)](auto&&... args) mutable {
            if (!alive.expired())
                callback(std::forward<decltype(args)>(args)...);
        };
    }
    // The same for a callback with an answer: `orElse` once the owner is gone.
    template <typename Result, typename Callback>
    auto guardOr(Result orElse, Callback callback) const {
        return [alive = std::weak_ptr<const bool>(alive_), callback = std::move(callback),
                orElse](auto&&... args) mutable -> Result {
            if (alive.expired())
                return orElse;
            return callback(std::forward<decltype(args)>(args)...);
        };
    }

    // Runs `closure` later on the main loop (never inside this call) if the owner lives.
    void post(std::function<void()> closure) const { postToMainThread(guard(std::move(closure))); }

    // From now on nothing guarded runs; stops every job and waits for it to end.
    void shutDown();

  private:
    struct Job {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::stop_source start(std::function<void(std::stop_token)> body);

    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    std::vector<Job> jobs_;  // finished ones are joined when the next starts
};

}  // namespace vela

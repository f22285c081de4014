#include "tests/support/Wait.h"

#include <thread>

namespace vela::test {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               const std::function<void()>& step) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        if (step)
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

}  // namespace vela::test

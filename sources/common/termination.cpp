#include "common/termination.hpp"

#include <atomic>
#include <csignal>

#include "common/errors.hpp"

namespace tesmira {
namespace {

volatile std::sig_atomic_t terminate_flag = 0;

using Hook = void (*)();
std::atomic<Hook> termination_hook{nullptr};
static_assert(std::atomic<Hook>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void on_sigterm(int) {
    terminate_flag = 1;
    if (const Hook hook = termination_hook.load()) hook();
}

void stop_on(int signal_number) {
    struct sigaction action {};
    action.sa_handler = on_sigterm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns early
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

void install_termination_handler() { stop_on(SIGTERM); }

void install_interrupt_handler() { stop_on(SIGINT); }

bool termination_requested() { return terminate_flag != 0; }

void check_termination() {
    if (terminate_flag) throw TerminationRequested{};
}

void also_on_termination(void (*hook)()) noexcept { termination_hook.store(hook); }

}  // namespace tesmira

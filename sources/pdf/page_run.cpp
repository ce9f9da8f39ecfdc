#include "pdf/page_run.hpp"

#include <array>
#include <atomic>
#include <stdexcept>

#include "common/termination.hpp"
#include "pdf/print_states.hpp"

namespace tesmira::pdf {
namespace {

constexpr std::size_t COOKIES = 64;  // pages drawn at once: two sides, each on screen and on plates, and more
std::array<fz_cookie, COOKIES> cookies{};
std::array<std::atomic<bool>, COOKIES> in_use{};

// Run from the signal handler: every cookie, held or not, is told to stop; a free one is
// cleared again when it is taken.
void abort_every_cookie() {
    for (fz_cookie& cookie : cookies) cookie.abort = 1;
}

}  // namespace

AbortableCookie::AbortableCookie() : slot_(-1) {
    for (std::size_t i = 0; i < COOKIES && slot_ < 0; ++i) {
        bool expected = false;
        if (in_use[i].compare_exchange_strong(expected, true)) slot_ = int(i);
    }
    if (slot_ < 0) throw std::runtime_error("too many pages drawn at once");
    also_on_termination(abort_every_cookie);
    cookies[std::size_t(slot_)] = fz_cookie{};
    // A SIGTERM whose handler wrote before the clearing has set the flag read here; one after
    // it writes the cookie itself.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (termination_requested()) cookies[std::size_t(slot_)].abort = 1;
}

AbortableCookie::~AbortableCookie() { in_use[std::size_t(slot_)].store(false); }

fz_cookie* AbortableCookie::get() const { return &cookies[std::size_t(slot_)]; }

void run_page(const MupdfContext& mupdf, pdf_page* page, fz_device* device, fz_matrix ctm) {
    const AbortableCookie cookie;
    fz_context* ctx = mupdf.get();
    mupdf.run([&] { pdf_run_page_with_usage(ctx, page, device, ctm, PRINT_USAGE, cookie.get()); });
    check_termination();
}

}  // namespace tesmira::pdf

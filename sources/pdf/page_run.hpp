#pragma once
#include "pdf/mupdf_document.hpp"

namespace tesmira::pdf {

// A MuPDF cookie whose abort flag SIGTERM sets, so that MuPDF's interpreter, which checks it
// between the operators of a content stream, stops a page of any size within moments. Cookies
// come from a fixed pool that the signal handler may always write; one is held at most by
// each page drawn at once.
class AbortableCookie {
public:
    AbortableCookie();  // throws std::runtime_error when every cookie is in use
    ~AbortableCookie();
    AbortableCookie(const AbortableCookie&) = delete;
    AbortableCookie& operator=(const AbortableCookie&) = delete;
    fz_cookie* get() const;

private:
    int slot_;
};

// Draws the page as it prints (PRINT_USAGE, print_states.hpp), with an AbortableCookie: its
// optional content in its print state, annotations and form fields only as far as they print.
// When SIGTERM arrives it throws TerminationRequested as soon as the interpreter has stopped (the
// caller's devices are then left unclosed). MuPDF's failures become MupdfError.
void run_page(const MupdfContext& mupdf, pdf_page* page, fz_device* device, fz_matrix ctm);

}  // namespace tesmira::pdf

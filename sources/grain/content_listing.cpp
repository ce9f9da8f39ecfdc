#include "grain/content_listing.hpp"

#include <memory>
#include <type_traits>
#include <utility>

#include "common/termination.hpp"
#include "grain/object_tally.hpp"
#include "grain/tally_device.hpp"
#include "pdf/mupdf_document.hpp"
#include "pdf/page_run.hpp"
#include "pdf/print_states.hpp"

namespace tesmira::grain {
namespace {

// MuPDF's processor cannot carry our state, so the operator wrappers find it here while
// a page runs.
thread_local ObjectTally* running_tally = nullptr;

class RunningTally {
public:
    explicit RunningTally(ObjectTally& tally) : previous_(running_tally) { running_tally = &tally; }
    ~RunningTally() { running_tally = previous_; }
    RunningTally(const RunningTally&) = delete;
    RunningTally& operator=(const RunningTally&) = delete;

private:
    ObjectTally* previous_;
};

template <auto Field>
using OpFunction = std::remove_reference_t<decltype(std::declval<pdf_processor&>().*Field)>;

// The run processor's own function for each wrapped operator (the same for every run
// processor: they are MuPDF's static functions).
template <auto Field>
thread_local OpFunction<Field> original_op = nullptr;

// Tells the tally which operator the drawings that MuPDF makes for it belong to.
template <auto Field, Op Kind, typename... Args>
void wrapped_op(fz_context* ctx, pdf_processor* proc, Args... args) {
    ObjectTally& tally = *running_tally;
    const ObjectTally::Frame frame = tally.enter(Kind);
    fz_try(ctx) {
        original_op<Field>(ctx, proc, args...);
        // MuPDF gathers the text of several showing operators into one until ET;
        // ending it after each keeps one object per operator.
        if constexpr (Kind == Op::text) original_op<&pdf_processor::op_ET>(ctx, proc);
    }
    fz_always(ctx) { tally.leave(Kind, frame); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    if (tally.failed()) fz_throw(ctx, FZ_ERROR_ABORT, "%s", tally.failure_text());
}

template <auto Field, Op Kind, typename... Args>
void wrap_with(pdf_processor* proc, void (*)(fz_context*, pdf_processor*, Args...)) {
    original_op<Field> = proc->*Field;
    if (original_op<Field>) proc->*Field = &wrapped_op<Field, Kind, Args...>;
}

template <auto Field, Op Kind>
void wrap(pdf_processor* proc) {
    wrap_with<Field, Kind>(proc, proc->*Field);
}

void wrap_painting_operators(pdf_processor* proc) {
    original_op<& pdf_processor::op_ET> = proc->op_ET;
    wrap<&pdf_processor::op_S, Op::path>(proc);
    wrap<&pdf_processor::op_s, Op::path>(proc);
    wrap<&pdf_processor::op_F, Op::path>(proc);
    wrap<&pdf_processor::op_f, Op::path>(proc);
    wrap<&pdf_processor::op_fstar, Op::path>(proc);
    wrap<&pdf_processor::op_B, Op::path>(proc);
    wrap<&pdf_processor::op_Bstar, Op::path>(proc);
    wrap<&pdf_processor::op_b, Op::path>(proc);
    wrap<&pdf_processor::op_bstar, Op::path>(proc);
    if (proc->op_ET) {
        wrap<&pdf_processor::op_TJ, Op::text>(proc);
        wrap<&pdf_processor::op_Tj, Op::text>(proc);
        wrap<&pdf_processor::op_squote, Op::text>(proc);
        wrap<&pdf_processor::op_dquote, Op::text>(proc);
    }
    wrap<&pdf_processor::op_BI, Op::image>(proc);
    wrap<&pdf_processor::op_Do_image, Op::image>(proc);
    wrap<&pdf_processor::op_sh, Op::shading>(proc);
    wrap<&pdf_processor::op_Do_form, Op::form>(proc);
}

struct ProcessorDeleter {
    fz_context* ctx;
    void operator()(pdf_processor* proc) const { pdf_drop_processor(ctx, proc); }
};
using Processor = std::unique_ptr<pdf_processor, ProcessorDeleter>;

}  // namespace

std::vector<ListedObject> list_page_content(const std::filesystem::path& path, int index, const pdf::Rect& page_box) {
    pdf::MupdfContext mupdf;
    fz_context* ctx = mupdf.get();
    pdf::PdfDocument doc = pdf::open_pdf_document(mupdf, path);
    pdf::PdfPage page = pdf::load_pdf_page(mupdf, doc.get(), index);

    // Declared before the device and the processor, which call into it until dropped.
    ObjectTally tally(Area{page_box.x0, page_box.y0, page_box.x1, page_box.y1});
    pdf::Device device(nullptr, {ctx});
    mupdf.run([&] { device.reset(new_tally_device(ctx, &tally)); });
    Processor processor(nullptr, {ctx});
    const RunningTally running(tally);
    const pdf::AbortableCookie cookie;
    try {
        mupdf.run([&] {
            // The identity keeps everything in default user space, y upwards.
            processor.reset(pdf_new_run_processor(
                ctx, device.get(), fz_identity, pdf::PRINT_USAGE, nullptr, nullptr, cookie.get()));
            wrap_painting_operators(processor.get());
            pdf_process_contents(ctx,
                                 processor.get(),
                                 doc.get(),
                                 pdf_page_resources(ctx, page.get()),
                                 pdf_page_contents(ctx, page.get()),
                                 cookie.get());
        });
        check_termination();
        mupdf.run([&] {
            pdf_close_processor(ctx, processor.get());
            fz_close_device(ctx, device.get());
        });
    } catch (const pdf::MupdfError&) {
        if (!tally.failed()) throw;
    }
    tally.raise_failure();

    std::vector<ListedObject> listed;
    listed.reserve(tally.objects().size());
    for (const TalliedObject& object : tally.objects())
        listed.push_back(
            {object.type, {object.area.x0, object.area.y0, object.area.x1, object.area.y1}, object.simple});
    return listed;
}

}  // namespace tesmira::grain

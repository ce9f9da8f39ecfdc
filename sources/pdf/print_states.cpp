#include "pdf/print_states.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tesmira::pdf {
namespace {

// The groups of /OCGs by object number, for finding the groups that other entries name: a file
// may hold thousands, and each /AS entry may name them all.
struct Groups {
    pdf_obj* list = nullptr;        // /OCGs
    std::vector<int> numbers;       // of each entry, 0 for one that is no reference
    std::vector<int> by_number;     // one entry index for each number, sorted by number
    std::vector<unsigned char> on;  // the state each entry prints in

    // The index of the group `reference` names, or -1. Groups are known by reference: MuPDF's
    // own comparison would also match two groups whose dictionaries merely read alike.
    int find(fz_context* ctx, pdf_obj* reference) const {
        if (!pdf_is_indirect(ctx, reference)) return -1;
        const int number = pdf_to_num(ctx, reference);
        const auto it = std::lower_bound(by_number.begin(), by_number.end(), number, [&](int index, int n) {
            return numbers[std::size_t(index)] < n;
        });
        return it != by_number.end() && numbers[std::size_t(*it)] == number ? *it : -1;
    }
};

// Sets every group that the array `references` names to `on`.
void set_named(fz_context* ctx, Groups& groups, pdf_obj* references, bool on) {
    const int n = pdf_array_len(ctx, references);
    for (int i = 0; i < n; ++i)
        if (const int index = groups.find(ctx, pdf_array_get(ctx, references, i)); index >= 0)
            groups.on[std::size_t(index)] = on;
}

// The states of the default configuration: its base state, then its ON and OFF lists.
void read_default_states(fz_context* ctx, Groups& groups, pdf_obj* config) {
    const bool base_on = !pdf_name_eq(ctx, pdf_dict_get(ctx, config, PDF_NAME(BaseState)), PDF_NAME(OFF));
    std::fill(groups.on.begin(), groups.on.end(), base_on);
    set_named(ctx, groups, pdf_dict_get(ctx, config, PDF_NAME(ON)), true);
    set_named(ctx, groups, pdf_dict_get(ctx, config, PDF_NAME(OFF)), false);
}

bool names(fz_context* ctx, pdf_obj* name_or_array, const char* name) {
    if (pdf_is_name(ctx, name_or_array)) return std::strcmp(pdf_to_name(ctx, name_or_array), name) == 0;
    const int n = pdf_array_len(ctx, name_or_array);
    for (int i = 0; i < n; ++i)
        if (std::strcmp(pdf_to_name(ctx, pdf_array_get(ctx, name_or_array, i)), name) == 0) return true;
    return false;
}

// Each /AS entry for the Print event with the Print category sets the groups it lists to their
// /PrintState, when they have one.
void apply_print_event(fz_context* ctx, Groups& groups, pdf_obj* config) {
    pdf_obj* entries = pdf_dict_get(ctx, config, PDF_NAME(AS));
    const int n = pdf_array_len(ctx, entries);
    for (int i = 0; i < n; ++i) {
        pdf_obj* entry = pdf_array_get(ctx, entries, i);
        if (!names(ctx, pdf_dict_gets(ctx, entry, "Event"), "Print") ||
            !names(ctx, pdf_dict_gets(ctx, entry, "Category"), "Print"))
            continue;
        pdf_obj* listed = pdf_dict_get(ctx, entry, PDF_NAME(OCGs));
        const int count = pdf_array_len(ctx, listed);
        for (int j = 0; j < count; ++j) {
            pdf_obj* reference = pdf_array_get(ctx, listed, j);
            const int index = groups.find(ctx, reference);
            if (index < 0) continue;
            pdf_obj* state = pdf_dict_gets(
                ctx, pdf_dict_get(ctx, pdf_dict_get(ctx, reference, PDF_NAME(Usage)), PDF_NAME(Print)), "PrintState");
            if (pdf_name_eq(ctx, state, PDF_NAME(ON))) groups.on[std::size_t(index)] = 1;
            if (pdf_name_eq(ctx, state, PDF_NAME(OFF))) groups.on[std::size_t(index)] = 0;
        }
    }
}

// MuPDF, drawing for printing, takes each group's /Usage /Print /PrintState before its state in
// the configuration: each group's usage now says only the state it prints in.
void write_states(fz_context* ctx, const Groups& groups) {
    for (const int index : groups.by_number) {
        pdf_obj* group = pdf_array_get(ctx, groups.list, index);
        if (!pdf_is_dict(ctx, group)) continue;  // no group at all; MuPDF passes it by
        pdf_obj* usage = pdf_dict_put_dict(ctx, group, PDF_NAME(Usage), 1);
        pdf_obj* print = pdf_dict_put_dict(ctx, usage, PDF_NAME(Print), 1);
        pdf_dict_puts(ctx, print, "PrintState", groups.on[std::size_t(index)] ? PDF_NAME(ON) : PDF_NAME(OFF));
    }
}

// MuPDF reads the intent the groups are considered for from the first of /Configs when there are
// any; /D is the configuration a document opens in.
void use_default_configuration(fz_context* ctx, pdf_document* doc, pdf_obj* properties) {
    if (!pdf_dict_get(ctx, properties, PDF_NAME(Configs)) || !pdf_dict_get(ctx, properties, PDF_NAME(D))) return;
    pdf_dict_del(ctx, properties, PDF_NAME(Configs));
    if (pdf_count_layer_configs(ctx, doc) > 0) pdf_select_layer_config(ctx, doc, 0);
}

}  // namespace

void set_print_states(const MupdfContext& mupdf, pdf_document* doc) {
    fz_context* ctx = mupdf.get();
    Groups groups;
    pdf_obj* properties = nullptr;
    int count = 0;
    mupdf.run([&] {
        properties =
            pdf_dict_get(ctx, pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root)), PDF_NAME(OCProperties));
        groups.list = pdf_dict_get(ctx, properties, PDF_NAME(OCGs));
        count = pdf_array_len(ctx, groups.list);
    });
    if (count == 0) return;
    groups.numbers.assign(std::size_t(count), 0);
    groups.on.assign(std::size_t(count), 1);
    mupdf.run([&] {
        for (int i = 0; i < count; ++i)
            if (pdf_obj* entry = pdf_array_get(ctx, groups.list, i); pdf_is_indirect(ctx, entry))
                groups.numbers[std::size_t(i)] = pdf_to_num(ctx, entry);
    });
    for (int i = 0; i < count; ++i)
        if (groups.numbers[std::size_t(i)] != 0) groups.by_number.push_back(i);
    const auto number_of = [&](int index) { return groups.numbers[std::size_t(index)]; };
    std::stable_sort(
        groups.by_number.begin(), groups.by_number.end(), [&](int a, int b) { return number_of(a) < number_of(b); });
    // A group listed twice is one group.
    groups.by_number.erase(std::unique(groups.by_number.begin(),
                                       groups.by_number.end(),
                                       [&](int a, int b) { return number_of(a) == number_of(b); }),
                           groups.by_number.end());
    mupdf.run([&] {
        pdf_obj* config = pdf_dict_get(ctx, properties, PDF_NAME(D));
        read_default_states(ctx, groups, config);
        apply_print_event(ctx, groups, config);
        write_states(ctx, groups);
        use_default_configuration(ctx, doc, properties);
    });
}

}  // namespace tesmira::pdf

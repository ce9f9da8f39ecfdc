#include "grain/stroke_bounds.hpp"

#include <algorithm>
#include <cmath>

namespace tesmira::grain {
namespace {

struct Vec {
    double x = 0, y = 0;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double length(Vec a) { return std::hypot(a.x, a.y); }

// Shorter segments have no direction worth joining at.
constexpr double TINY = 1e-9;

// Walks one path in its own space (where the line width is measured) and collects the
// painted area in the space `ctm` maps to.
struct StrokeWalk {
    fz_matrix ctm{};
    double half = 0;                  // half the line width
    double reach_x = 0, reach_y = 0;  // how far a round pen of `half` (or a square cap) reaches after ctm
    bool mitred = false;
    double miter_limit = 10;

    Vec start, current;
    bool move_pending = false;  // a subpath start not painted until a segment follows
    Vec first_dir, last_dir;    // unit directions leaving the subpath start and entering `current`
    bool has_first = false, has_last = false;

    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    Vec mapped(Vec p) const { return {ctm.a * p.x + ctm.c * p.y + ctm.e, ctm.b * p.x + ctm.d * p.y + ctm.f}; }
    void cover(double lx, double ly, double hx, double hy) {
        if (!any) {
            x0 = lx, y0 = ly, x1 = hx, y1 = hy;
            any = true;
            return;
        }
        x0 = std::min(x0, lx), y0 = std::min(y0, ly), x1 = std::max(x1, hx), y1 = std::max(y1, hy);
    }
    void add_pen(Vec p) {
        const Vec q = mapped(p);
        cover(q.x - reach_x, q.y - reach_y, q.x + reach_x, q.y + reach_y);
    }
    void add_point(Vec p) {
        const Vec q = mapped(p);
        cover(q.x, q.y, q.x, q.y);
    }
    void paint_pending_move() {
        if (!move_pending) return;
        add_pen(current);
        move_pending = false;
    }

    // A mitred corner sticks out along the outer bisector by half / sin(angle / 2), unless
    // that exceeds the miter limit and the corner is bevelled instead.
    void join(Vec at, Vec in, Vec out) {
        if (!mitred) return;
        const double cosine = dot(in, out);
        const double sine_half = std::sqrt(std::max(0.0, (1 + cosine) / 2));
        if (sine_half < TINY || 1 / sine_half > miter_limit) return;
        const Vec outward = in - out;
        const double len = length(outward);
        if (len < TINY) return;  // straight on: the pen covers it
        add_point(at + outward * (half / sine_half / len));
    }
    void enter(Vec dir) {
        if (has_last) join(current, last_dir, dir);
        if (!has_first) first_dir = dir, has_first = true;
    }

    void move_to(Vec p) {
        start = current = p;
        move_pending = true;
        has_first = has_last = false;
    }
    void line_to(Vec p) {
        paint_pending_move();
        add_pen(p);
        const Vec d = p - current;
        const double len = length(d);
        if (len > TINY) {
            const Vec dir = d * (1 / len);
            enter(dir);
            last_dir = dir, has_last = true;
        }
        current = p;
    }
    // The curve stays inside the hull of its control points, and so does its stroke
    // inside the hull widened by the pen.
    void curve_to(Vec c1, Vec c2, Vec p) {
        paint_pending_move();
        add_pen(c1), add_pen(c2), add_pen(p);
        const Vec leaving[] = {c1 - current, c2 - current, p - current};
        const Vec arriving[] = {p - c2, p - c1, p - current};
        for (Vec d : leaving) {
            const double len = length(d);
            if (len > TINY) {
                enter(d * (1 / len));
                break;
            }
        }
        for (Vec d : arriving) {
            const double len = length(d);
            if (len > TINY) {
                last_dir = d * (1 / len), has_last = true;
                break;
            }
        }
        current = p;
    }
    void close() {
        paint_pending_move();
        if (length(start - current) > TINY) line_to(start);
        if (has_first && has_last) join(start, last_dir, first_dir);
        current = start;
        has_first = has_last = false;
    }
};

StrokeWalk& walk_of(void* arg) { return *static_cast<StrokeWalk*>(arg); }

void walk_move(fz_context*, void* arg, float x, float y) { walk_of(arg).move_to({x, y}); }
void walk_line(fz_context*, void* arg, float x, float y) { walk_of(arg).line_to({x, y}); }
void walk_curve(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
    walk_of(arg).curve_to({x1, y1}, {x2, y2}, {x3, y3});
}
void walk_close(fz_context*, void* arg) { walk_of(arg).close(); }

const fz_path_walker stroke_walker = {walk_move, walk_line, walk_curve, walk_close, nullptr, nullptr, nullptr, nullptr};

bool square_caps(const fz_stroke_state& stroke) {
    return stroke.start_cap == FZ_LINECAP_SQUARE || stroke.dash_cap == FZ_LINECAP_SQUARE ||
           stroke.end_cap == FZ_LINECAP_SQUARE;
}

}  // namespace

fz_rect stroke_bounds(fz_context* ctx, const fz_path* path, const fz_stroke_state* stroke, fz_matrix ctm) {
    StrokeWalk walk;
    walk.ctm = ctm;
    if (stroke) {
        walk.half = std::abs(double(stroke->linewidth)) / 2;
        walk.mitred = stroke->linejoin == FZ_LINEJOIN_MITER || stroke->linejoin == FZ_LINEJOIN_MITER_XPS;
        walk.miter_limit = stroke->miterlimit;
        // A square cap's corners lie half a width along and across the end.
        const double pen = walk.half * (square_caps(*stroke) ? std::sqrt(2.0) : 1.0);
        // A circle of radius `pen` becomes an ellipse; these are its half extents.
        walk.reach_x = pen * std::hypot(double(ctm.a), double(ctm.c));
        walk.reach_y = pen * std::hypot(double(ctm.b), double(ctm.d));
    }
    fz_walk_path(ctx, path, &stroke_walker, &walk);
    if (!walk.any) return fz_empty_rect;
    return fz_make_rect(float(walk.x0), float(walk.y0), float(walk.x1), float(walk.y1));
}

}  // namespace tesmira::grain

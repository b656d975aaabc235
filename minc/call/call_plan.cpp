// The plan of a gridding call and the stage frames read off it (see call_plan.hpp).
#include "call_plan.hpp"

#include <cmath>
#include <cstdint>

namespace minc {

namespace {
constexpr float kPi = 3.1415925f;  // the single-precision pi of the rotation formulas
}  // namespace

WorkingGrid unrotated_grid(const GridRequest& r) {
    return WorkingGrid{r.x0 / r.dx, r.y0 / r.dy, r.nx, r.ny};
}

void rotation_of(const GridRequest& r, float angle, DataTransform& t) {
    t.rotated = true;
    t.xr = r.x0 + static_cast<float>(r.nx) * r.dx / 2.0f;
    t.yr = r.y0 + static_cast<float>(r.ny) * r.dy / 2.0f;
    const float rad = angle * kPi / 180.0f;
    t.sin_a = std::sin(rad);
    t.cos_a = std::cos(rad);
}

Status check_request(const GridRequest& r) {
    if (Status s = check_arguments(r); failed(s)) return s;
    return check_origin_and_dummy(r.x0, r.y0, r.dx, r.dy, r.dummy);
}

DataTransform data_transform(const GridRequest& r) {
    DataTransform t;
    t.dummy = r.dummy;
    t.ichan = r.ichan;
    t.maxchan = r.maxchan;
    t.mode = r.mode;
    t.dx = r.dx;
    t.dy = r.dy;
    if (const float angle = reduced_angle(r.angle); angle != 0.0f) rotation_of(r, angle, t);
    return t;
}

CallPlan plan_call(const GridRequest& r, const DataRange& range) {
    CallPlan p;
    p.target = TargetGrid{.x0 = r.x0, .y0 = r.y0, .dx = r.dx, .dy = r.dy, .nx = r.nx, .ny = r.ny,
                          .mode = r.mode, .iopt = r.iopt, .dummy = r.dummy};
    p.angle = reduced_angle(r.angle);
    p.transform = data_transform(r);
    p.radius_cells = radius_in_cells(r);
    p.maxit = iteration_limit(r.iterations);
    if (p.rotated())
        p.grid_status = rotated_grid(range, p.grid);
    else
        p.grid = unrotated_grid(r);
    if (failed(p.grid_status)) return p;
    p.window = half_window(p.radius_cells, p.grid.ncu);
    p.partition_status = choose_partition(p.grid, r, p.part);
    if (!failed(p.partition_status)) p.nwrec = 3 * points_per_record(p.part.blocks());
    return p;
}

void log_request(const GridRequest& r, ParameterLog& log) {
    log.parameter(" x origin ", r.x0, 2);
    log.parameter(" y origin ", r.y0, 2);
    log.parameter(" x cell size ", r.dx, 4);
    log.parameter(" y cell size ", r.dy, 4);
    log.parameter(" num columns  ", static_cast<float>(r.nx), 0);
    log.parameter(" num rows ", static_cast<float>(r.ny), 0);
    log.parameter(" z channel ", static_cast<float>(r.ichan), 0);
    log.parameter(" max chan ", static_cast<float>(r.maxchan), 0);
    log.parameter(" search radius ", r.radius, 3);
    log.parameter(" rotation angle ", r.angle, 3);
    log.parameter(" null data ", r.dummy, 3);
}

void log_plan(const CallPlan& p, ParameterLog& log) {
    if (failed(p.grid_status)) return;
    log.parameter(" half window ", static_cast<float>(p.hw()), 0);
    if (p.window.reduced && p.hw() >= 1) log.parameter(" radius used ", p.window.radius_used, 3);
    if (p.hw() >= 1) {
        // In 64 bits: a grid the partition refuses may be near the int range.
        const std::int64_t extra = 2 * std::int64_t(p.hw());
        log.parameter(" total columns ", static_cast<float>(p.grid.ncu + extra), 0);
        log.parameter(" total rows ", static_cast<float>(p.grid.nru + extra), 0);
    }
    if (failed(p.partition_status)) return;
    log.parameter(" number tiers ", static_cast<float>(p.part.ntier), 0);
    log.parameter(" sections/tier ", static_cast<float>(p.part.nsect), 0);
    log.parameter(" columns/block ", static_cast<float>(p.part.cpb), 0);
    log.parameter(" rows/block ", static_cast<float>(p.part.rpb), 0);
}

DataPassFrame data_pass_frame(const CallPlan& p) {
    return DataPassFrame{.h = 1.0f,
                         .xe0 = p.grid.xc0 - 2.0f,
                         .ye0 = p.grid.yc0 - 2.0f,
                         .nw = p.nwrec,
                         .ncu = p.grid.ncu,
                         .nru = p.grid.nru};
}

MaskHeader mask_header(const CallPlan& p) {
    const float hw = static_cast<float>(p.hw());
    return MaskHeader{p.mask_columns(), p.mask_rows(), p.grid.xc0 - hw, p.grid.yc0 - hw};
}

int section_slots(const CallPlan& p) { return p.hw() >= 1 ? 2 * p.part.nsect : p.part.nsect; }

TemplateFrame template_frame(const CallPlan& p, int records) {
    return TemplateFrame{
        .records = records, .nwrec = p.nwrec, .part = p.part, .dummy = p.target.dummy, .tol = kTolerance};
}

SolveContext solve_context(const CallPlan& p, const SolveStores& s) {
    return SolveContext{
        .part = p.part,
        .dummy = p.target.dummy,
        .tol = kTolerance,
        .maxit = p.maxit,
        .wconst = kWeightConstant,
        .hw = p.hw(),
        .ncu = p.grid.ncu,
        .nru = p.grid.nru,
        .nct = p.mask_columns(),
        .tmpl = s.tmpl,
        .arrays = s.area.solver(),
        .work = std::span<float>(s.area.work),
        .recbuf = std::span<float>(s.area.record),
        .nwrec = p.nwrec,
        .data_store = s.data_store,
        .section_store = s.section_store,
        .grid_rows = s.grid_rows,
        .mask = mask_rows(p, s.mask),
        .log = s.log,
        .relax = s.relax,
        .progress = s.progress,
    };
}

RowFile mask_rows(const CallPlan& p, gridout::ByteFile* mask) {
    return RowFile{mask, record_words(p.mask_columns())};
}

BlankingGrid blanking_grid(const CallPlan& p) {
    return BlankingGrid{.hw = p.hw(),
                        .nct = p.mask_columns(),
                        .nrt = p.mask_rows(),
                        .ncu = p.grid.ncu,
                        .nru = p.grid.nru,
                        .dummy = p.target.dummy};
}

gridout::GeooutParams grid_writer_params(const CallPlan& p) {
    const TargetGrid& t = p.target;
    return gridout::GeooutParams{
        .ncol = p.grid.ncu,
        .nrow = p.grid.nru,
        .xorg = p.grid.xc0 * t.dx,
        .yorg = p.grid.yc0 * t.dy,
        .dx = t.dx,
        .dy = t.dy,
        .mode = t.mode,
        .iopt = t.iopt,
        .dummy = t.dummy,
    };
}

gridout::GeorotParams rotation_params(const CallPlan& p, float gmin, float gmax) {
    const TargetGrid& t = p.target;
    return gridout::GeorotParams{
        .sdx = t.dx,
        .sdy = t.dy,
        .sx0 = p.grid.xc0 * t.dx,
        .sy0 = p.grid.yc0 * t.dy,
        .snc = p.grid.ncu,
        .snr = p.grid.nru,
        .dx = t.dx,
        .dy = t.dy,
        .x0 = t.x0,
        .y0 = t.y0,
        .nx = t.nx,
        .ny = t.ny,
        .angle = p.angle,
        .xr = p.transform.xr,
        .yr = p.transform.yr,
        .iopt = t.iopt,
        .dummy = t.dummy,
        .gmin = gmin,
        .gmax = gmax,
        .work = {},  // GEOROT makes its own row buffer
    };
}

}  // namespace minc

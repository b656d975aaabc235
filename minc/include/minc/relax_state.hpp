// The state that the minimum-curvature relaxation carries from one gridding call to
// the next. Public because the caller owns it: one object for a whole run.
#pragma once

namespace minc {

/// The count of sweeps whose error grew, carried across calls. The caller owns it and
/// passes the same object to every call of a run (a fresh object is a fresh program).
struct RelaxState {
    int rise = 0;
};

}  // namespace minc

// A scattered data point as the gridding library takes it from memory.
#pragma once

namespace minc {

/// One datum in world units: position (x, y) and the value gridded there. A point is
/// read exactly as a record x, y, value of a one-channel input data file would be.
struct Point {
    float x = 0.0f;
    float y = 0.0f;
    float value = 0.0f;
};

}  // namespace minc

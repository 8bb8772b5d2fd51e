#pragma once

#include "MeasurementSettings.h"
#include "PixelSquare.h"

#include <cstdint>
#include <vector>

namespace torvi {

// The histogram bin each pixel of the examined square votes for, worked out
// once per measurement: the direction of a pixel seen from the centre does
// not change from frame to frame, so the extended-precision arctangent is
// taken once per pixel and not once per pixel and frame.
// Bins count degrees from straight below the centre towards the right
// (below 0, right 90, above 180, left 270). NoVote marks the centre pixel
// and pixels beyond the hand's reach (dx² + dy² > R² + R, which is the rule
// "distance rounded ties to even exceeds R" for integer offsets).
class DirectionTable {
public:
    static constexpr std::int16_t NoVote = -1;

    DirectionTable() = default;
    // The table for a picture of width x height with the settings' centre and
    // radius; covers the square cut to the picture. Throws Error for a radius
    // that CheckSettings refuses.
    DirectionTable(const MeasurementSettings& settings, int width, int height);

    const PixelSquare& Square() const { return square_; }
    // Bins of the square's row `row` (0 = the square's top row), Width entries.
    const std::int16_t* Row(int row) const {
        return bins_.data() +
               static_cast<std::size_t>(row) * static_cast<std::size_t>(square_.Width);
    }

    // The columns [First, End) of the square's row `row` (0 = top) that hold
    // all its pixels within reach; empty when none is.
    struct Span {
        int First = 0;
        int End = 0;
    };
    Span RowSpan(int row) const { return spans_[static_cast<std::size_t>(row)]; }

    // The bin of the offset (dx, dy) from the centre, whatever the radius:
    // NoVote for the centre itself, 90 and 270 on the centre row, otherwise
    // atan2(dx, dy) / pi * 180 in extended precision, rounded ties to even,
    // negative directions moved up by 360.
    static int DirectionBin(long long dx, long long dy);
    // The same, every offset worked out in extended precision (slower).
    static int ExactDirectionBin(long long dx, long long dy);
    // Whether a pixel at that offset is within reach of a hand of the radius.
    static bool WithinReach(long long dx, long long dy, long long radius) {
        return dx * dx + dy * dy <= radius * radius + radius;
    }

private:
    PixelSquare square_;
    std::vector<std::int16_t> bins_;
    std::vector<Span> spans_;
};

} // namespace torvi

#include "ui/dialogs/anchoring.h"

#include <algorithm>
#include <cmath>

namespace veltra {
namespace {

struct Span {
    int start = 0;
    int end = 0;
};

Box CutTo(const Box& box, const Extent& area) {
    return Box{box.x, box.y, std::max(0, std::min(box.Right(), area.width) - box.x),
               std::max(0, std::min(box.Bottom(), area.height) - box.y)};
}

int Moved(int edge, int growth, double share) {
    return edge + static_cast<int>(std::lround(growth * share));
}

Span Along(const Box& box, bool horizontal) {
    return horizontal ? Span{box.x, box.Right()} : Span{box.y, box.Bottom()};
}

const AxisShares& SharesAlong(const Anchor& anchor, bool horizontal) {
    return horizontal ? anchor.horizontal : anchor.vertical;
}

bool Overlap(const Span& a, const Span& b) {
    return a.start < b.end && b.start < a.end;
}

// The most the client may shrink along one axis (a growth <= 0) before the arrangement breaks.
double LeastGrowth(const std::vector<AnchoredItem>& items, int size, bool horizontal) {
    double least = -static_cast<double>(size);
    const auto at_least = [&least](double bound) { least = std::max(least, bound); };
    for (const AnchoredItem& item : items) {
        const Span span = Along(item.box, horizontal);
        const AxisShares& shares = SharesAlong(item.anchor, horizontal);
        if (shares.Grows()) {  // keeps half its extent
            at_least(-(span.end - span.start) / (2.0 * (shares.end - shares.start)));
        }
        if (shares.start > 0.0 && span.start > 0) {  // starts inside the client
            at_least(-span.start / shares.start);
        }
        if (shares.end < 1.0 && span.end <= size) {  // ends inside the client
            at_least(-(size - span.end) / (1.0 - shares.end));
        }
    }
    // Two controls side by side along this axis (they share some of the other) close the gap
    // between them when the later one moves by a larger share than the earlier one's end.
    for (const AnchoredItem& first : items) {
        for (const AnchoredItem& second : items) {
            const Span before = Along(first.box, horizontal);
            const Span after = Along(second.box, horizontal);
            const double closing = SharesAlong(second.anchor, horizontal).start -
                                   SharesAlong(first.anchor, horizontal).end;
            if (&first == &second || before.end > after.start || closing <= 0.0 ||
                !Overlap(Along(first.box, !horizontal), Along(second.box, !horizontal))) {
                continue;
            }
            at_least(-(after.start - before.end) / closing);
        }
    }
    return least;
}

}  // namespace

Box AnchoredBox(const Box& template_box, const Extent& template_size, const Extent& client,
                const Anchor& anchor) {
    const int grown_x = client.width - template_size.width;
    const int grown_y = client.height - template_size.height;
    const Box box = CutTo(template_box, template_size);
    const int left = Moved(box.x, grown_x, anchor.horizontal.start);
    const int right = Moved(box.Right(), grown_x, anchor.horizontal.end);
    const int top = Moved(box.y, grown_y, anchor.vertical.start);
    const int bottom = Moved(box.Bottom(), grown_y, anchor.vertical.end);
    return Box{left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

Extent MinimumClientSize(std::vector<AnchoredItem> items, const Extent& template_size) {
    for (AnchoredItem& item : items) {
        item.box = CutTo(item.box, template_size);
    }
    const auto least = [&](int size, bool horizontal) {
        return size + static_cast<int>(std::ceil(LeastGrowth(items, size, horizontal)));
    };
    return Extent{least(template_size.width, true), least(template_size.height, false)};
}

}  // namespace veltra

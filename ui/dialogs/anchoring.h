#pragma once
// How a template's arrangement follows a window of another size. Each control keeps its template
// rectangle at the template's own size; when the window grows or shrinks by some amount along an
// axis, each edge of the control moves by a fixed share of that amount. A share of 0 keeps the
// edge's distance to the window's left or top edge, 1 its distance to the right or bottom edge;
// a control whose two edges have different shares grows and shrinks with the window. No toolkit
// here: the rule works on plain numbers, pixels or dialog units alike.

#include <vector>

namespace veltra {

struct Extent {
    int width = 0;
    int height = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
    friend bool operator==(const Box&, const Box&) = default;
};

// The shares of the window's growth that move a control's start edge and its end edge.
struct AxisShares {
    double start = 0.0;
    double end = 0.0;
    bool Grows() const { return end > start; }
};

struct Anchor {
    AxisShares horizontal;
    AxisShares vertical;
};

namespace shares {
inline constexpr AxisShares kStart{0.0, 0.0};      // keeps its distance to the left or top
inline constexpr AxisShares kEnd{1.0, 1.0};        // keeps its distance to the right or bottom
inline constexpr AxisShares kSpan{0.0, 1.0};       // grows with the window
inline constexpr AxisShares kFirstHalf{0.0, 0.5};  // grows by half, the other half goes below
inline constexpr AxisShares kMiddle{0.5, 0.5};     // moves by half: stays between two halves
inline constexpr AxisShares kSecondHalf{0.5, 1.0};
}  // namespace shares

// Where a control of template_box goes in a client area of client, when the template was drawn for
// template_size. What a template control has beyond the template's right or bottom edge was never
// on the screen: the control is first cut to the template's area.
Box AnchoredBox(const Box& template_box, const Extent& template_size, const Extent& client,
                const Anchor& anchor);

struct AnchoredItem {
    Box box;
    Anchor anchor;
};

// The smallest client area in which the arrangement still holds: every growing control keeps at
// least half its template extent, no control that starts inside the client moves past its left or
// top edge, none that ends inside it moves past its right or bottom edge, and no two controls that
// stand apart in the template come to overlap. Never more than template_size.
Extent MinimumClientSize(std::vector<AnchoredItem> items, const Extent& template_size);

}  // namespace veltra

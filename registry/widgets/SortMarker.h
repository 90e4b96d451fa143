#pragma once

namespace orvanta::registry::widgets {

// The grid's sort marker. It follows title clicks only: a click on another title moves it
// there pointing up, a click on the marked title turns it over. It does not reflect the
// order the rows are really in.
class SortMarker {
public:
    static constexpr int kNone = -1;

    void Click(int column) {
        if (column == m_column) {
            m_up = !m_up;
        } else {
            m_column = column;
            m_up = true;
        }
    }
    int Column() const { return m_column; }
    bool Up() const { return m_up; }

private:
    int m_column = kNone;
    bool m_up = true;
};

}  // namespace orvanta::registry::widgets

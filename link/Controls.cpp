#include "link/Controls.h"

#include <charconv>

namespace orvanta::link {

int SpinEdit::Value() const {
    std::size_t begin = 0;
    while (begin < Text.size() && Text[begin] == ' ') {
        ++begin;
    }
    if (begin < Text.size() && Text[begin] == '+') {
        ++begin;
        if (begin < Text.size() && Text[begin] == '-') {
            return 0;
        }
    }
    int value = 0;
    const char* first = Text.data() + begin;
    const char* last = Text.data() + Text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) {
        return 0;
    }
    return value;
}

void ProgressBar::SetMax(std::int64_t max) {
    m_max = max < m_min ? m_min : max;
    if (m_position > m_max) {
        m_position = m_max;
    }
}

void ProgressBar::SetPosition(std::int64_t position) {
    m_position = position < m_min ? m_min : position > m_max ? m_max : position;
}

StringGrid::StringGrid(int colCount, int rowCount)
    : m_colCount(colCount), m_rows(rowCount, std::vector<std::string>(colCount)) {}

int StringGrid::AddRow() {
    m_rows.emplace_back(m_colCount);
    return RowCount() - 1;
}

}  // namespace orvanta::link

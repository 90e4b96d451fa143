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

namespace {

std::size_t TextBytes(const std::string& text) {
    return text.size();
}

std::size_t TextBytes(const std::vector<std::string>& cells) {
    std::size_t bytes = 0;
    for (const std::string& cell : cells) {
        bytes += cell.size();
    }
    return bytes;
}

// Rows from `first` on are the trimmed ones; `room` rows are about to be added. `bytes` may
// overstate what is held (rows taken away elsewhere); it is recounted before anything goes.
template <typename Row>
void KeepRecent(std::vector<Row>& rows, std::size_t first, std::size_t room, std::size_t& bytes) {
    if (rows.size() < first) {
        return;
    }
    const auto over = [&](std::size_t drop, std::size_t rowBound, std::size_t byteBound) {
        return rows.size() - drop + room > rowBound || bytes > byteBound;
    };
    if (!over(first, kKeptRows, kKeptBytes)) {
        return;
    }
    bytes = 0;
    for (std::size_t i = first; i < rows.size(); ++i) {
        bytes += TextBytes(rows[i]);
    }
    if (!over(first, kKeptRows, kKeptBytes)) {
        return;
    }
    // The newest row held always stays, however long it is.
    const std::size_t last = room > 0 ? rows.size() : rows.size() - 1;
    std::size_t drop = first;
    while (drop < last && over(drop, kKeptRows / 10 * 9, kKeptBytes / 10 * 9)) {
        bytes -= TextBytes(rows[drop]);
        ++drop;
    }
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(first),
               rows.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace

void Memo::Add(std::string line) {
    m_bytes += line.size();
    Lines.push_back(std::move(line));
    KeepRecent(Lines, 0, 0, m_bytes);
}

StringGrid::StringGrid(int colCount, int rowCount)
    : m_colCount(colCount), m_rows(rowCount, std::vector<std::string>(colCount)) {}

void StringGrid::SetCell(int col, int row, std::string text) {
    std::string& cell = m_rows.at(row).at(col);
    m_bytes += text.size();
    cell = std::move(text);
}

int StringGrid::AddRow() {
    // Trimmed before the new row is filled, so the index returned stays right while it is.
    KeepRecent(m_rows, 1, 1, m_bytes);
    m_rows.emplace_back(m_colCount);
    return RowCount() - 1;
}

}  // namespace orvanta::link

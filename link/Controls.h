#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvanta::link {

// The link window is never shown, so its controls are kept as the plain state they hold.

struct EditBox {
    std::string Text;
};

struct Label {
    std::string Caption;
};

// What a log or grid of a link keeps: its most recent rows, at most this many and at most this
// much text (plus the newest row), so a chatty or hostile player cannot grow a window nobody
// sees without end. Once either bound is passed the oldest rows go, down to nine tenths of
// both, so that trimming is seldom.
inline constexpr std::size_t kKeptRows = 10000;
inline constexpr std::size_t kKeptBytes = 1024 * 1024;

// Read-only memo: the message log.
class Memo {
public:
    std::vector<std::string> Lines;
    // Appends a line, dropping the oldest beyond the bounds.
    void Add(std::string line);

private:
    std::size_t m_bytes = 0;  // counted as lines come; recounted when it passes the bound
};

struct ListBox {
    std::vector<std::string> Items;
    int ItemIndex = -1;  // -1: nothing selected
};

// A spin edit without bounds: its value is its text read as a decimal integer, 0 when the text
// is not one.
struct SpinEdit {
    std::string Text;
    int Value() const;
    void SetValue(int value) { Text = std::to_string(value); }
};

enum class PanelColour {
    ButtonFace,
    Green,  // red 0, green 128, blue 0
    Red,    // red 255, green 0, blue 0
};

struct Panel {
    std::string Caption;
    PanelColour Color = PanelColour::ButtonFace;
};

// Minimum 0; the maximum never goes below the minimum and the position stays between the two,
// so lowering the maximum under the position lowers the position with it.
class ProgressBar {
public:
    std::int64_t Min() const { return m_min; }
    std::int64_t Max() const { return m_max; }
    std::int64_t Position() const { return m_position; }
    void SetMax(std::int64_t max);
    void SetPosition(std::int64_t position);

private:
    std::int64_t m_min = 0;
    std::int64_t m_max = 100;
    std::int64_t m_position = 0;
};

// A string grid whose row 0 is a fixed header row; rows grow at the bottom and the oldest
// below the header leave beyond the bounds.
class StringGrid {
public:
    StringGrid(int colCount, int rowCount);
    int ColCount() const { return m_colCount; }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const std::string& Cell(int col, int row) const { return m_rows.at(row).at(col); }
    void SetCell(int col, int row, std::string text);
    // Appends an empty row and returns its index; older rows may have left first, so an index
    // holds until the next call.
    int AddRow();

private:
    int m_colCount;
    std::vector<std::vector<std::string>> m_rows;
    std::size_t m_bytes = 0;  // counted as cells are set; recounted when it passes the bound
};

struct MenuItem {
    std::string Name;
    std::string Caption;  // "-" for a separator
    bool Visible = true;
    std::function<void()> OnClick;  // empty: no action
};

}  // namespace orvanta::link

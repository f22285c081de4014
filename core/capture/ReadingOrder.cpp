#include "core/capture/ReadingOrder.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string_view>

#include "core/support/UnicodeText.h"

namespace vela {
namespace {

// Lines overlap vertically when their centres are closer than half the smaller height;
// comparing centres against a share of the image height instead merges the lines of a
// tall selection into one band.
bool shareRow(const Rect& a, const Rect& b) {
    return std::abs(a.midY() - b.midY()) < 0.5 * std::min(a.height(), b.height());
}

template <typename Member>
bool joinsRow(const std::vector<Member>& row, const Rect& box, auto boxOf) {
    return std::any_of(row.begin(), row.end(),
                       [&](const Member& m) { return shareRow(boxOf(m), box); });
}

struct Row {
    double top = 0, bottom = 1, left = 1;
    std::string firstText;  // of its leftmost line
    std::vector<const RecognizedLine*> lines;
    double height() const { return top - bottom; }
};

// Rows of the lines that have a candidate; the others add no text and no layout.
std::vector<Row> rowsOf(const std::vector<RecognizedLine>& lines) {
    std::vector<Row> rows;
    for (const RecognizedLine& line : lines) {
        if (line.candidates.empty())
            continue;
        const Rect& box = line.boundingBox;
        if (rows.empty() || !joinsRow(rows.back().lines, box,
                                      [](const RecognizedLine* l) { return l->boundingBox; })) {
            rows.emplace_back();
            rows.back().top = box.maxY();
            rows.back().bottom = box.minY();
            rows.back().left = box.minX();
            rows.back().firstText = line.candidates.front();
        }
        Row& row = rows.back();
        row.top = std::max(row.top, box.maxY());
        row.bottom = std::min(row.bottom, box.minY());
        row.left = std::min(row.left, box.minX());
        row.lines.push_back(&line);
    }
    return rows;
}

// The lower median, so that of two values the smaller counts as the usual one.
double lowerMedian(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// "1. ", "12) ", "• ", "- ", "・" and similar starts of list items, with the CJK forms
// "1．", "２、", "一、", "（3）" and "①".
bool startsListItem(std::string_view text) {
    for (std::string_view bullet : {"•", "・", "●", "○", "■", "□", "◦", "▪", "‣", "- ", "* "}) {
        if (text.starts_with(bullet))
            return true;
    }
    const std::u32string s = toScalars(text.substr(0, 32)) + U"  ";
    if (s[0] >= U'\u2460' && s[0] <= U'\u2473')  // circled numbers
        return true;
    const bool parenthesised = s[0] == U'(' || s[0] == U'（';
    std::size_t i = parenthesised ? 1 : 0;
    const auto isDigit = [](char32_t c) {
        return (c >= U'0' && c <= U'9') || (c >= U'０' && c <= U'９');
    };
    const std::u32string_view cjkNumerals = U"一二三四五六七八九十";
    const bool cjkNumber = cjkNumerals.find(s[i]) != std::u32string_view::npos;
    const std::size_t first = i;
    while (i < first + 3 &&
           (isDigit(s[i]) || (cjkNumber && cjkNumerals.find(s[i]) != std::u32string_view::npos)))
        ++i;
    if (i == first)
        return false;
    if (parenthesised)
        return s[i] == U')' || s[i] == U'）';
    return ((s[i] == U'.' || s[i] == U')') && s[i + 1] == U' ') || s[i] == U'．' || s[i] == U'、' ||
           s[i] == U'）';
}

}  // namespace

void sortIntoReadingOrder(std::vector<RecognizedLine>& lines) {
    std::vector<std::size_t> byHeight(lines.size());
    std::iota(byHeight.begin(), byHeight.end(), 0);
    std::stable_sort(byHeight.begin(), byHeight.end(), [&](std::size_t a, std::size_t b) {
        return lines[a].boundingBox.midY() > lines[b].boundingBox.midY();
    });
    std::vector<std::vector<std::size_t>> rows;
    const auto boxOf = [&](std::size_t i) { return lines[i].boundingBox; };
    for (std::size_t i : byHeight) {
        if (rows.empty() || !joinsRow(rows.back(), lines[i].boundingBox, boxOf))
            rows.emplace_back();
        rows.back().push_back(i);
    }
    std::vector<RecognizedLine> ordered;
    ordered.reserve(lines.size());
    for (auto& row : rows) {
        // Equal starts keep the recogniser's order, which is the order of the indices.
        std::sort(row.begin(), row.end(), [&](std::size_t a, std::size_t b) {
            const double ax = lines[a].boundingBox.minX(), bx = lines[b].boundingBox.minX();
            return ax != bx ? ax < bx : a < b;
        });
        for (std::size_t i : row)
            ordered.push_back(std::move(lines[i]));
    }
    lines = std::move(ordered);
}

std::vector<std::string> linesWithParagraphBreaks(const std::vector<RecognizedLine>& lines,
                                                  double imageAspect) {
    const std::vector<Row> rows = rowsOf(lines);
    std::vector<double> pitches;
    double leftEdge = 1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        leftEdge = std::min(leftEdge, rows[i].left);
        if (i > 0)
            pitches.push_back(rows[i - 1].top - rows[i].top);
    }
    const double usualPitch = pitches.size() >= 2 ? lowerMedian(pitches) : 0;
    // Horizontal distances in units of the image height.
    const auto indentOf = [&](const Row& row) { return (row.left - leftEdge) * imageAspect; };

    std::vector<std::string> out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (i > 0) {
            const Row& above = rows[i - 1];
            // Half again the usual pitch, or with too few lines to know it, a gap taller
            // than the lines on either side: room for at least a blank line.
            const double gap = above.bottom - row.top;
            const bool wideGap = (usualPitch > 0 && pitches[i - 1] > 1.5 * usualPitch) ||
                                 gap > std::max(above.height(), row.height());
            // An indented line after one at the left edge opens a paragraph, unless the
            // line above is a list item whose text wraps with a hanging indent.
            const bool indented = indentOf(row) > 0.7 * row.height() &&
                                  indentOf(above) < 0.3 * above.height() &&
                                  !startsListItem(trimmed(above.firstText));
            if (wideGap || indented || startsListItem(trimmed(row.firstText)))
                out.emplace_back();
        }
        for (const RecognizedLine* line : row.lines)
            out.push_back(line->candidates.front());
    }
    return out;
}

}  // namespace vela

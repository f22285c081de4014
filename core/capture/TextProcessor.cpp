#include "core/capture/TextProcessor.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/support/EastAsianScript.h"
#include "core/support/UnicodeText.h"

namespace vela::TextProcessor {
namespace {

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Spaces and tabs only: line breaks other than LF can survive inside a line and stay.
bool isHorizontalSpace(char32_t c) {
    return isWhitespaceOrNewline(c) && !isLineBreak(c);
}

std::string trimmedSpaces(std::string_view line) {
    const std::u32string scalars = toScalars(line);
    std::size_t first = 0;
    std::size_t last = scalars.size();
    while (first < last && isHorizontalSpace(scalars[first]))
        ++first;
    while (last > first && isHorizontalSpace(scalars[last - 1]))
        --last;
    return fromScalars(std::u32string_view(scalars).substr(first, last - first));
}

bool endsWithSingleHyphen(const std::string& s) {
    return !s.empty() && s.back() == '-' && !(s.size() >= 2 && s[s.size() - 2] == '-');
}

// The last user-perceived character of `merged`, whose end is `line`. Only a short tail
// is segmented, so a paragraph of any length merges in linear time; a character that
// starts more than 64 bytes before `line` (no script writes one) would be cut.
std::string lastCharacter(const std::string& merged, const std::string& line) {
    std::size_t from = merged.size() - std::min(merged.size(), line.size() + 64);
    while (from > 0 && (static_cast<unsigned char>(merged[from]) & 0xC0) == 0x80)
        --from;  // start on a whole UTF-8 sequence
    return lastGraphemes(std::string_view(merged).substr(from), 1);
}

std::string mergeParagraph(const std::vector<std::string>& lines) {
    std::string merged = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (endsWithSingleHyphen(merged)) {
            merged.pop_back();
            merged += line;
        } else if (!merged.empty() && !line.empty() &&
                   isCJKOrKana(lastCharacter(merged, lines[i - 1])) &&
                   isCJKOrKana(firstGraphemes(line, 1))) {
            merged += line;
        } else {
            merged += ' ';
            merged += line;
        }
    }
    return merged;
}

double roundHalfAwayFromZero(double v) {
    return std::round(v);
}

}  // namespace

std::string smartMergeParagraphLines(std::string_view text) {
    std::string unified;
    unified.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            unified += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            unified += text[i];
        }
    }
    const std::string whole = trimmed(unified);
    if (whole.empty())
        return "";

    std::vector<std::vector<std::string>> paragraphs(1);
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t end = whole.find('\n', start);
        if (end == std::string::npos)
            end = whole.size();
        std::string line = trimmedSpaces(std::string_view(whole).substr(start, end - start));
        if (!line.empty()) {
            paragraphs.back().push_back(std::move(line));
        } else if (!paragraphs.back().empty()) {
            paragraphs.emplace_back();
        }
        start = end + 1;
    }

    std::string out;
    for (const auto& paragraph : paragraphs) {
        if (paragraph.empty())
            continue;
        if (!out.empty())
            out += "\n\n";
        out += mergeParagraph(paragraph);
    }
    return out;
}

bool isValidCaptureRect(double width, double height) {
    return width >= 10 && height >= 10;
}

Point clampWindowOrigin(const Rect& selectionRect, const Size& windowSize,
                        const Rect& screenVisibleFrame, double gap) {
    const Rect& s = selectionRect;
    const Rect& v = screenVisibleFrame;
    const double w = windowSize.width;
    const double h = windowSize.height;

    double x = s.maxX() + gap;
    double y = s.maxY() - h;
    if (x + w > v.maxX()) {
        x = s.minX();
        y = s.minY() - h - gap;
    }
    const double m = screenEdgeMargin;
    const double lowX = v.minX() + m;
    const double highX = std::max(lowX, v.maxX() - w - m);
    const double lowY = v.minY() + m;
    const double highY = std::max(lowY, v.maxY() - h - m);
    x = std::min(highX, std::max(x, lowX));
    y = std::min(highY, std::max(y, lowY));
    return {roundHalfAwayFromZero(x), roundHalfAwayFromZero(y)};
}

bool isCJKOrKana(std::string_view character) {
    for (char32_t c : toScalars(character)) {
        if (isKana(c) || isHan(c))
            return true;
    }
    return false;
}

}  // namespace vela::TextProcessor

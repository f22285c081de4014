#include "core/support/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace vela {

bool isWhitespaceOrNewline(char32_t c) {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::u32string toScalars(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < s.size()) {
        unsigned char b = byte(i);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xF4) {
            std::size_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            char32_t v = b & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
            std::size_t k = 1;
            for (; k < need && i + k < s.size(); ++k) {
                unsigned char c = byte(i + k);
                // Second-byte limits exclude overlongs, surrogates and > U+10FFFF.
                unsigned char lo = 0x80, hi = 0xBF;
                if (k == 1) {
                    if (b == 0xE0)
                        lo = 0xA0;
                    if (b == 0xED)
                        hi = 0x9F;
                    if (b == 0xF0)
                        lo = 0x90;
                    if (b == 0xF4)
                        hi = 0x8F;
                }
                if (c < lo || c > hi)
                    break;
                v = (v << 6) | (c & 0x3F);
            }
            if (k == need) {
                cp = v;
                len = need;
            } else {
                len = k;  // consume the valid prefix as one replacement character
            }
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string fromScalars(std::u32string_view scalars) {
    std::string out;
    out.reserve(scalars.size());
    for (char32_t c : scalars)
        appendUtf8(out, c);
    return out;
}

bool isControlCharacter(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::string externalText(std::string_view text) {
    std::u32string scalars = toScalars(text);
    std::erase(scalars, U'\0');
    return fromScalars(scalars);
}

std::string trimmed(std::string_view text) {
    std::u32string s = toScalars(text);
    std::size_t b = 0, e = s.size();
    while (b < e && isWhitespaceOrNewline(s[b]))
        ++b;
    while (e > b && isWhitespaceOrNewline(s[e - 1]))
        --e;
    if (b == 0 && e == s.size())
        return fromScalars(s);  // also normalises invalid bytes
    return fromScalars(std::u32string_view(s).substr(b, e - b));
}

namespace {
icu::UnicodeString toIcu(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}
std::string fromIcu(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}
}  // namespace

std::string upperCased(std::string_view text) {
    icu::UnicodeString s = toIcu(text);
    s.toUpper(icu::Locale::getRoot());
    return fromIcu(s);
}

std::vector<std::string> graphemeClusters(std::string_view text) {
    std::vector<std::string> out;
    icu::UnicodeString s = toIcu(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) {
        // Without break rules fall back to one scalar per character.
        for (char32_t c : toScalars(text)) {
            std::string one;
            appendUtf8(one, c);
            out.push_back(std::move(one));
        }
        return out;
    }
    it->setText(s);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        out.push_back(fromIcu(icu::UnicodeString(s, start, end - start)));
    }
    return out;
}

std::string firstGraphemes(std::string_view text, std::size_t count) {
    auto clusters = graphemeClusters(text);
    std::string out;
    for (std::size_t i = 0; i < clusters.size() && i < count; ++i)
        out += clusters[i];
    return out;
}

std::string lastGraphemes(std::string_view text, std::size_t count) {
    auto clusters = graphemeClusters(text);
    std::size_t from = clusters.size() > count ? clusters.size() - count : 0;
    std::string out;
    for (std::size_t i = from; i < clusters.size(); ++i)
        out += clusters[i];
    return out;
}

}  // namespace vela

#include "tests/support/RenderedText.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "core/support/UnicodeText.h"

namespace vela::test {

int runProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void renderTextFile(const TextRendering& r, const std::filesystem::path& output) {
    std::string text;
    for (const auto& line : r.lines) {
        if (!text.empty())
            text += '\n';
        // ImageMagick expands "%" escapes in label text.
        for (char c : line)
            text += c == '%' ? std::string("%%") : std::string(1, c);
    }
    const int status =
        runProgram({"convert", "-background", r.background, "-fill", r.foreground, "-font", r.font,
                    "-pointsize", std::to_string(r.pointSize), "label:" + text, "-bordercolor",
                    r.background, "-border", std::to_string(r.border), output.string()});
    ASSERT_EQ(status, 0) << "convert failed for " << output;
}

PixelImage renderText(const TextRendering& rendering, const std::filesystem::path& folder) {
    const auto path = folder / "rendered.png";
    renderTextFile(rendering, path);
    auto image = readImageFile(path);
    EXPECT_TRUE(image.has_value());
    return image.value_or(PixelImage{});
}

PixelImage renderColumns(const TextRendering& left, const TextRendering& right, int gap,
                         const std::filesystem::path& folder) {
    const auto l = folder / "left.png", rt = folder / "right.png", out = folder / "columns.png";
    renderTextFile(left, l);
    renderTextFile(right, rt);
    const int status = runProgram({"convert", l.string(), "-size", std::to_string(gap) + "x1",
                                   "xc:white", rt.string(), "-background", "white", "-gravity",
                                   "north", "+append", out.string()});
    EXPECT_EQ(status, 0);
    return readImageFile(out).value_or(PixelImage{});
}

PixelImage plainImage(int width, int height, std::uint32_t rgb) {
    PixelImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), rgb);
    return image;
}

double characterErrorRate(std::string_view expected, std::string_view actual) {
    const std::u32string a = toScalars(expected), b = toScalars(actual);
    if (a.empty())
        return b.empty() ? 0.0 : 1.0;
    std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return static_cast<double>(previous[b.size()]) / static_cast<double>(a.size());
}

}  // namespace vela::test

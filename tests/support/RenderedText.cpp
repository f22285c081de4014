#include "tests/support/RenderedText.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <numeric>

#include "core/support/UnicodeText.h"

extern char** environ;

namespace vela::test {

PixelImage renderText(const TextRendering& r, const std::filesystem::path& folder,
                      const std::string& drawing) {
    const std::string output = (folder / "rendered.png").string();
    std::vector<std::string> argv = {"convert", "-background", r.background,
                                     "-fill",   r.foreground,  "-font",
                                     r.font,    "-pointsize",  std::to_string(r.pointSize)};
    argv.insert(argv.end(), {"label:" + r.text, "-bordercolor", r.background, "-border", "20"});
    if (!drawing.empty())
        argv.insert(argv.end(), {"-fill", "none", "-stroke", "#7a7a7a", "-draw", drawing});
    argv.push_back(output);
    std::vector<char*> args(argv.size() + 1);  // ends with the null pointer
    std::ranges::transform(argv, args.begin(), [](std::string& a) { return a.data(); });
    // The child is always reaped before returning, whatever it does.
    pid_t pid = 0;
    int status = -1;
    const bool ran = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid;
    EXPECT_TRUE(ran && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "convert failed";
    return readImageFile(output).value_or(PixelImage{});
}

double characterErrorRate(std::string_view expected, std::string_view actual) {
    const std::u32string a = toScalars(expected), b = toScalars(actual);
    if (a.empty())
        return b.empty() ? 0.0 : 1.0;
    std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), 0);
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

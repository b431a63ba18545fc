#include "package_arguments.h"

#include "text.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <utility>

namespace {

constexpr std::uint16_t kDefaultPageWidth = 600;
constexpr std::uint16_t kDefaultPageHeight = 800;

struct Choice {
    std::string_view word;
    std::uint16_t value;
};

constexpr Choice kOrientations[] = {{"auto", 0}, {"landscape", 1}, {"portrait", 2}};
constexpr Choice kSpreads[] = {{"auto", 0}, {"none", 1}, {"left", 2}, {"right", 3}};

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::uint16_t> choose(std::span<const Choice> choices, std::string_view word) {
    for (const auto& choice : choices)
        if (choice.word == word) return choice.value;
    return std::nullopt;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> parsePageSize(std::string_view text) {
    auto cross = text.find('x');
    if (cross == std::string_view::npos) return std::nullopt;
    auto width = parseNumber<std::uint16_t>(text.substr(0, cross));
    auto height = parseNumber<std::uint16_t>(text.substr(cross + 1));
    if (!width || !height) return std::nullopt;
    return std::pair{*width, *height};
}

// Applies one flag that takes a value; false, with the reason, when it is wrong.
bool applyFlag(std::string_view flag, std::string_view value, EpubOptions& options, std::string& problem) {
    auto fail = [&] {
        problem = "invalid value for " + std::string(flag) + ": '" + std::string(value) + "'";
        return false;
    };
    if (flag == "--epub-version") {
        auto version = parseNumber<std::uint32_t>(value);
        if (!version || (*version != 2 && *version != 3)) return fail();
        options.epubVersion = *version;
    } else if (flag == "--orientation") {
        auto orientation = choose(kOrientations, value);
        if (!orientation) return fail();
        options.orientation = *orientation;
    } else if (flag == "--spread") {
        auto spread = choose(kSpreads, value);
        if (!spread) return fail();
        options.spreadMode = *spread;
    } else if (flag == "--page-size") {
        auto size = parsePageSize(value);
        if (!size) return fail();
        options.pageWidth = size->first;
        options.pageHeight = size->second;
    } else if (flag == "--layout-variant") {
        auto variant = parseNumber<std::uint16_t>(value);
        if (!variant) return fail();
        options.layoutVariant = *variant;
    } else {
        problem = "unknown option " + std::string(flag);
        return false;
    }
    return true;
}

// The library takes paths as UTF-16: a path that does not survive the trip
// would be written under another name than the one asked for.
bool pathsPassOn(const std::string& exportFolder, const std::string& destination, std::string& problem) {
    for (const auto& [what, path] : {std::pair{"export folder", &exportFolder}, std::pair{"destination", &destination}}) {
        if (survivesUtf16(*path)) continue;
        problem = std::string("the ") + what + " is not valid UTF-8, so the library cannot be given its name";
        return false;
    }
    return true;
}

}  // namespace

std::optional<EpubCommandLine> parseEpubCommandLine(std::span<const std::string> arguments, std::string& problem) {
    EpubCommandLine line;
    line.options.epubVersion = 3;
    line.options.pageWidth = kDefaultPageWidth;
    line.options.pageHeight = kDefaultPageHeight;
    std::size_t positionals = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--fixed-layout") {
            line.options.fixedLayout = 1;
        } else if (argument.starts_with("--")) {
            auto equals = argument.find('=');
            std::string_view flag = argument.substr(0, equals);
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                problem = std::string(flag) + " needs a value";
                return std::nullopt;
            }
            if (!applyFlag(flag, value, line.options, problem)) return std::nullopt;
        } else if (positionals == 0) {
            line.exportFolder = argument;
            ++positionals;
        } else if (positionals == 1) {
            line.destination = argument;
            ++positionals;
        } else {
            problem = "unexpected argument '" + std::string(argument) + "'";
            return std::nullopt;
        }
    }
    if (positionals != 2) {
        problem = "epub needs an export folder and a destination";
        return std::nullopt;
    }
    if (!pathsPassOn(line.exportFolder, line.destination, problem)) return std::nullopt;
    return line;
}

std::optional<BlioCommandLine> parseBlioCommandLine(std::span<const std::string> arguments, std::string& problem) {
    if (arguments.size() != 2) {
        problem = "blio needs an export folder and a destination";
        return std::nullopt;
    }
    if (!pathsPassOn(arguments[0], arguments[1], problem)) return std::nullopt;
    return BlioCommandLine{arguments[0], arguments[1]};
}

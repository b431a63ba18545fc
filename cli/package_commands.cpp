// The commands that drive the library through its C interface, exactly as a
// host would: UTF-16 paths in, a result code out.
#include <charconv>
#include <filesystem>
#include <iostream>
#include <string>

#include "commands.h"
#include "common/file/package_path.h"
#include "ebookpackager.h"
#include "package_arguments.h"
#include "text.h"

namespace {

// Prints the package the library wrote, named as the library names it, or its
// message.
int report(std::uint32_t code, const std::string& destination, std::string_view extension) {
    if (code != EBOOKPACKAGER_OK) {
        std::cerr << "ebookpack: " << resultMessage(code) << "\n";
        return static_cast<int>(code);
    }
    std::filesystem::path package = packager::packagePath(destination, extension).value_or(destination);
    // A folder already bearing the package's name takes the package inside it.
    if (std::filesystem::is_directory(package)) package /= package.filename();
    std::cout << package.string() << "\n";
    return 0;
}

}  // namespace

int runMessage(std::span<const std::string> arguments) {
    std::uint32_t code = 0;
    const std::string* text = arguments.size() == 1 ? &arguments[0] : nullptr;
    if (text == nullptr ||
        std::from_chars(text->data(), text->data() + text->size(), code).ptr != text->data() + text->size()) {
        return usageError("message needs one result code");
    }
    std::cout << resultMessage(code) << "\n";
    return 0;
}

int runEpub(std::span<const std::string> arguments) {
    std::string problem;
    auto line = parseEpubCommandLine(arguments, problem);
    if (!line) return usageError(problem);
    std::u16string source = toUtf16(line->exportFolder);
    std::u16string destination = toUtf16(line->destination);
    std::uint32_t code = CreateEPubPackage(reinterpret_cast<const uint16_t*>(source.c_str()),
                                           reinterpret_cast<const uint16_t*>(destination.c_str()), line->options);
    return report(code, line->destination, "epub");
}

int runBlio(std::span<const std::string> arguments) {
    std::string problem;
    auto line = parseBlioCommandLine(arguments, problem);
    if (!line) return usageError(problem);
    std::u16string source = toUtf16(line->exportFolder);
    std::u16string destination = toUtf16(line->destination);
    std::uint32_t code = CreateBlioPackage(reinterpret_cast<const uint16_t*>(source.c_str()),
                                           reinterpret_cast<const uint16_t*>(destination.c_str()));
    return report(code, line->destination, "xps");
}

// The commands that drive the library through its C interface, exactly as a
// host would: UTF-16 paths in, a result code out.
#include <charconv>
#include <iostream>
#include <string>

#include "commands.h"
#include "ebookpackager.h"
#include "package_arguments.h"
#include "text.h"

namespace {

// The library appends the extension the same way when the name lacks it.
std::string withExtension(const std::string& destination, std::string_view extension) {
    auto name = destination.substr(destination.find_last_of('/') + 1);
    auto dot = name.find_last_of('.');
    if (dot != std::string::npos && name.substr(dot + 1) == extension) return destination;
    return destination + "." + std::string(extension);
}

int report(std::uint32_t code, const std::string& written) {
    if (code != EBOOKPACKAGER_OK) {
        std::cerr << "ebookpack: " << resultMessage(code) << "\n";
        return static_cast<int>(code);
    }
    std::cout << written << "\n";
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
    return report(code, withExtension(line->destination, "epub"));
}

int runBlio(std::span<const std::string> arguments) {
    std::string problem;
    auto line = parseBlioCommandLine(arguments, problem);
    if (!line) return usageError(problem);
    std::u16string source = toUtf16(line->exportFolder);
    std::u16string destination = toUtf16(line->destination);
    std::uint32_t code = CreateBlioPackage(reinterpret_cast<const uint16_t*>(source.c_str()),
                                           reinterpret_cast<const uint16_t*>(destination.c_str()));
    return report(code, withExtension(line->destination, "xps"));
}

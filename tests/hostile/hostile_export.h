#pragma once

#include <string>
#include <string_view>

#include "blio/blio_package_run.h"
#include "epub/epub_package_run.h"
#include "package_contents.h"

namespace packager::testing {

// Text that lives only in a file outside every export: finding it in a book
// means the run read something it had no business reading.
inline constexpr std::string_view kSecret = "SECRET-7f3a9c0e";

inline EpubOptions epubOptions() {
    EpubOptions options{};
    options.epubVersion = 3;
    options.pageWidth = 600;
    options.pageHeight = 800;
    return options;
}

// Every entry of a package, name and bytes, checked readable on the way:
// empty when the package is missing or any entry cannot be read back.
inline std::string packageContents(const fs::path& package) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {};
    std::string contents;
    for (const std::string& name : archive->entryNames()) {
        std::optional<std::string> bytes = archive->read(name);
        if (!bytes) return {};
        contents += name + "\n" + *bytes + "\n";
    }
    return contents;
}

// A copy of the example export, a private file holding kSecret, and a
// destination for the book; the Blio example is copied on demand.
class HostileExportTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = copyExportFolder(sourceDir() / "examples" / "epub-book", scratch / "export");
        secretFile = scratch / "private" / "secret.txt";
        writeText(secretFile, kSecret);
        book = scratch / "out" / "Book.epub";
        blioPackage = scratch / "out" / "Book.xps";
    }

    std::uint32_t packageBook(const fs::path& bundle = bundleDir()) {
        return createEPubPackage(source.string(), book.string(), epubOptions(), bundle);
    }
    std::string bookContents() const { return packageContents(book); }

    fs::path copyBlioExample() { return copyExportFolder(sourceDir() / "examples" / "blio-book", scratch / "blio-export"); }
    std::uint32_t packageBlioBook(const fs::path& blioSource) {
        return createBlioPackage(blioSource.string(), blioPackage.string(), bundleDir());
    }

    fs::path source;
    fs::path secretFile;
    fs::path book;
    fs::path blioPackage;
};

}  // namespace packager::testing

#pragma once

#include <string>
#include <string_view>

#include "../epub/epub_fixture.h"

namespace packager::testing {

// Text that lives only in a file outside every export: finding it in a book
// means the run read something it had no business reading.
inline constexpr std::string_view kSecret = "SECRET-7f3a9c0e";

// A copy of the example export, a private file holding kSecret, and a
// destination for the book.
class HostileExportTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = copyExport(sourceDir() / "examples" / "epub-book", scratch / "export");
        secretFile = scratch / "private" / "secret.txt";
        writeText(secretFile, kSecret);
    }

    std::uint32_t packageBook(const fs::path& bundle = bundleDir()) {
        return createEPubPackage(source.string(), book.string(), epubOptions(), bundle);
    }

    // Every entry of the book, name and bytes, checked readable on the way:
    // empty when the book is missing or any entry cannot be read back.
    std::string bookContents() const {
        auto archive = archive::Archive::open(book);
        if (!archive) return {};
        std::string contents;
        for (const std::string& name : archive->entryNames()) {
            std::optional<std::string> bytes = archive->read(name);
            if (!bytes) return {};
            contents += name + "\n" + *bytes + "\n";
        }
        return contents;
    }

    fs::path source;
    fs::path secretFile;
    fs::path book = scratch / "out" / "Book.epub";
};

}  // namespace packager::testing

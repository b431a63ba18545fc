#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "scratch.h"

namespace packager {
namespace {

namespace fs = std::filesystem;

// The plug-in must show the host its five functions and nothing else of ours.
TEST(Plugin, ExportsOnlyTheCFunctions) {
    std::string symbols;
    fs::path plugin = testing::bundleDir() / "libebookpackager.so";
    ASSERT_EQ(testing::runCommand("nm -D --defined-only " + testing::shellQuote(plugin), &symbols), 0);
    std::set<std::string> exported;
    std::istringstream lines(symbols);
    for (std::string line; std::getline(lines, line);) {
        std::string address, kind, name;
        std::istringstream(line) >> address >> kind >> name;
        if (kind == "T" || kind == "W" || kind == "D" || kind == "B" || kind == "V") exported.insert(name);
    }
    exported.erase("_init");
    exported.erase("_fini");
    EXPECT_EQ(exported, (std::set<std::string>{"CreateBlioPackage", "CreateEPubPackage", "DeleteErrorString",
                                                "GetErrorString", "PreRequisiteVerifier"}));
}

}  // namespace
}  // namespace packager

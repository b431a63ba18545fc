#include <gtest/gtest.h>

#include "scratch.h"

namespace packager {
namespace {

using testing::cliPath;
using testing::runCommand;
using testing::shellQuote;

int ebookpack(const std::string& arguments, std::string* output = nullptr) {
    return runCommand(shellQuote(cliPath()) + " " + arguments, output);
}

TEST(Cli, UnderstandsNothingItWasNotTold) {
    std::string output;
    EXPECT_EQ(ebookpack("", &output), 64);
    EXPECT_EQ(ebookpack("frobnicate", &output), 64);
    EXPECT_EQ(ebookpack("message", &output), 64);
    EXPECT_EQ(ebookpack("message seven", &output), 64);
    EXPECT_EQ(ebookpack("epub only-one-argument", &output), 64);
    EXPECT_EQ(ebookpack("epub a b --epub-version 4", &output), 64);
    EXPECT_NE(output.find("--epub-version"), std::string::npos);
    EXPECT_EQ(ebookpack("epub a b --spread sideways", &output), 64);
    EXPECT_EQ(ebookpack("epub a b --page-size 100", &output), 64);
    EXPECT_EQ(ebookpack("epub a b --orientation", &output), 64);
    EXPECT_EQ(ebookpack("blio a", &output), 64);
    // Names that would reach the library as other names.
    EXPECT_EQ(ebookpack("blio " + shellQuote("export\xFF") + " out", &output), 64);
    EXPECT_NE(output.find("the export folder is not valid UTF-8"), std::string::npos) << output;
    EXPECT_EQ(ebookpack("epub a " + shellQuote("Book\xC3\x28"), &output), 64);
    EXPECT_NE(output.find("the destination is not valid UTF-8"), std::string::npos) << output;
}

}  // namespace
}  // namespace packager

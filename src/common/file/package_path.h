#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace packager {

// The file a run writes for the destination the host asked for: trailing
// separators are dropped ("dir/" names "dir"), and "." followed by `extension`
// is appended unless the last component already ends in exactly that (the
// test is case-sensitive: "Book.XPS" becomes "Book.XPS.xps"). Nothing when no
// file name is left: "", "/", or a last component "." or "..".
std::optional<std::string> packagePath(std::string destination, std::string_view extension);

}  // namespace packager

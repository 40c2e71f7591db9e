// The report page's frame, style and script: the files of src/page/assets/, built into the program as they are
// (the build turns them into byte arrays; see cmake/embed_files.cmake).
#pragma once

#include <string_view>

namespace vennrick {

std::string_view reportHtmlAsset();  // assets/report.html: the frame, with the places of the three below
std::string_view reportCssAsset();   // assets/report.css
std::string_view reportJsAsset();    // assets/report.js

}  // namespace vennrick

// Replaces the runtime's modal error box for tests: the box goes to stderr,
// once readable (UTF-8) and once byte-exact as hex, so a death test can match
// the exact GBK text:
//   InstallStderrErrorBox();
//   EXPECT_EXIT(RaiseRuntimeError(1, 67189893, 188), ExitedWithCode(-1),
//               ErrorBoxPattern(expected_gbk_text));
#pragma once
#include <string>

namespace quillet::testing_support {

void InstallStderrErrorBox();
// Matches the hex line that the presenter writes for `gbk_text` titled "错误".
std::string ErrorBoxPattern(const std::string& gbk_text);
// Matches any box whose text contains `gbk_fragment`.
std::string ErrorBoxFragmentPattern(const std::string& gbk_fragment);

}  // namespace quillet::testing_support

#include "support/error_box_capture.h"

#include <cstdio>

#include "runtime/runtime_error.h"
#include "support/gbk_text.h"

namespace quillet::testing_support {
namespace {

void PresentOnStderr(const char* text, const char* title) {
  std::fprintf(stderr, "[error box] %s: %s\n", GbkToUtf8(title).c_str(), GbkToUtf8(text).c_str());
  std::fprintf(stderr, "BOXTITLE:%s:BOXTEXT:%s:END\n", HexBytes(title).c_str(), HexBytes(text).c_str());
  std::fflush(stderr);
}

}  // namespace

void InstallStderrErrorBox() { SetErrorBoxPresenter(PresentOnStderr); }

std::string ErrorBoxPattern(const std::string& gbk_text) {
  return "BOXTITLE:" + HexBytes("错误") + ":BOXTEXT:" + HexBytes(gbk_text) + ":END";
}

std::string ErrorBoxFragmentPattern(const std::string& gbk_fragment) {
  return "BOXTEXT:\\w*" + HexBytes(gbk_fragment);
}

}  // namespace quillet::testing_support

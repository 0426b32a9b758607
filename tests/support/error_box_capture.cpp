#include "support/error_box_capture.h"

#include <cstdio>

#include "runtime/runtime_error.h"
#include "support/gbk_text.h"

namespace quillet::testing_support {
namespace {

// One line per box: line breaks inside the text are written as \r and \n.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void PresentOnStderr(const char* text, const char* title) {
  std::fprintf(stderr, "[error box] %s: %s\n", GbkToUtf8(title).c_str(), OneLine(GbkToUtf8(text)).c_str());
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

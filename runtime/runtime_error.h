// The runtime error reporter: shows the error box, then ends the process with -1.
#pragma once
#include <cstddef>
#include <cstdint>

namespace quillet {

enum RuntimeErrorCode : int {
  kErrorWithMessage = 0,
  kErrorIndexOutOfRange = 1,
  kErrorNotNumeric = 2,
  kErrorDimensionMismatch = 3,
  kErrorIndexBelowOne = 4,
  kErrorTypeMismatch = 5,
  kErrorStackImbalance = 6,
  kErrorSubNoResult = 7,
  kErrorCompareOnlyEquality = 8,
  kErrorChoiceIndex = 9,
  kErrorRedimSize = 10,
  kErrorArgumentType = 11,
};

constexpr int kProcessExitOnRuntimeError = -1;

// Message of codes 1..11 (GBK); null for any other code.
const char* RuntimeErrorMessage(int code);

// Raises error `code` with its table message; location and position are only printed.
[[noreturn]] void RaiseRuntimeError(int code, int32_t location = 0, int32_t position = 0);
// Code 0 with a message of its own (GBK).
[[noreturn]] void ReportFatalMessage(const char* message, int32_t location = 0, int32_t position = 0);
// The general form: code, message (may be null or empty), location, position.
[[noreturn]] void ReportRuntimeError(int code, const char* message, int32_t location, int32_t position);

// Builds the box text exactly as shown (GBK, CR LF line breaks).
// `detail` is the "\r\n%d, %d..." part built from location and position.
void ComposeErrorDetail(int32_t location, int32_t position, char* out, size_t capacity);

// Seam: how the box is shown. Tests replace it so nothing modal blocks them.
using ErrorBoxPresenter = void (*)(const char* gbk_text, const char* gbk_title);
ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter);

// Optional handler: non-zero result means the error was dealt with.
using RuntimeErrorHandler = int (*)(int code, const char* gbk_message_and_detail);
void SetRuntimeErrorHandler(RuntimeErrorHandler handler);

int RuntimeErrorCount();

}  // namespace quillet

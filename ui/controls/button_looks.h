// The button's five looks: six colours (COLORREF) and six alphas each.
// Entries: [0] face fill, [1] top of the overlay gradient, [2] its bottom,
// [3] outer border, [4] inner border, [5] bottom line. Entries 1 and 2 take
// their colour from the host's base colour and only their alpha from here.
#pragma once
#include <cstdint>

namespace quillet {

enum ButtonLookCode : int {
  kLookNormal = 0,
  kLookHot = 1,
  kLookPressed = 2,
  kLookFocused = 3,
  kLookFifth = -1,
};

enum ButtonLookEntry : int {
  kLookFace = 0,
  kLookGradientTop = 1,
  kLookGradientBottom = 2,
  kLookOuterBorder = 3,
  kLookInnerBorder = 4,
  kLookBottomLine = 5,
  kLookEntryCount = 6,
};

struct ButtonLook {
  uint32_t colours[kLookEntryCount];
  int alphas[kLookEntryCount];
};

constexpr ButtonLook kButtonLookNormal = {{0xECECEC, 0, 0, 0, 0xFFFFFF, 0}, {204, 0, 102, 80, 51, 25}};
constexpr ButtonLook kButtonLookHot = {{0xECECEC, 0, 0, 0, 0xFFFFFF, 0}, {204, 21, 153, 70, 51, 30}};
constexpr ButtonLook kButtonLookPressed = {{0xECECEC, 0, 0xECECEC, 0, 0xFFFFFF, 0}, {204, 153, 21, 70, 51, 10}};
constexpr ButtonLook kButtonLookFocused = {{0xECECEC, 0, 0, 0, 0xFFFFFF, 0}, {204, 51, 153, 80, 61, 25}};
constexpr ButtonLook kButtonLookFifth = {{0xFFFFFF, 0, 0, 0, 0xFFFFFF, 0}, {51, 51, 51, 35, 30, 0}};

// The table of a look code; codes without a table of their own use the normal one.
inline const ButtonLook& ButtonLookFor(int look) {
  switch (look) {
    case kLookHot: return kButtonLookHot;
    case kLookPressed: return kButtonLookPressed;
    case kLookFocused: return kButtonLookFocused;
    case kLookFifth: return kButtonLookFifth;
    default: return kButtonLookNormal;
  }
}

}  // namespace quillet

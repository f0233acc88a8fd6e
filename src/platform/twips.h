// The forms are laid out in twips, 15 to a pixel. The arithmetic is single
// precision, and a twip value lands on the nearest pixel (halves to the even
// neighbour).
#pragma once
#include <cmath>

#include <QWidget>

namespace platform {

inline constexpr float kTwipsPerPixel = 15.0f;

inline int TwipsToPixels(float twips) {
  return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
}
inline float PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

// Sets a control's position and size, given in twips.
inline void PlaceInTwips(QWidget* w, float left, float top, float width, float height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

}  // namespace platform

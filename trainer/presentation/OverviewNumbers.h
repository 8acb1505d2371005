// The numbered components of each station's overview photograph, once for
// both sides that need them: the artwork program draws the overviews and their
// close-ups from this table, and the description window keeps clear of the
// same components and badges. Plain data, no toolkit.
//
// Every station stands in a scene of 640 x 480 units that fills the whole
// photograph; each number has its component's point and size there (the size
// also decides the close-up's zoom), where its badge sits, and the component's
// name as the close-up's caption shows it.
#pragma once

#include <algorithm>
#include <span>

namespace brimlink::overview {

inline constexpr double kSceneWidth = 640;
inline constexpr double kSceneHeight = 480;
// The photographs and close-ups, in pixels.
inline constexpr double kPictureWidth = 1024;
inline constexpr double kPictureHeight = 768;
inline constexpr double kCaptionBand = 60;  // under each close-up
// The badges' radius on the overview and on a close-up.
inline constexpr double kBadgeRadiusPixels = 17;
inline constexpr double kCloseUpBadgeRadius = 26;

// The part of the scene a picture shows: scene point p lands on picture pixel
// (p - (left, top)) * scale.
struct SceneWindow {
  double scale, left, top;
};

// The window of `zoom` around a scene point, kept inside the scene, with a
// band of `bottomBand` pixels left free below.
inline SceneWindow WindowAround(double x, double y, double zoom, double bottomBand = 0) {
  const double scale = kPictureWidth / kSceneWidth * zoom;
  const double visibleWidth = kSceneWidth / zoom;
  const double visibleHeight = kSceneHeight / zoom;
  return {scale, std::clamp(x - visibleWidth / 2, 0.0, kSceneWidth - visibleWidth),
          std::clamp(y - (visibleHeight - bottomBand / scale) / 2, 0.0,
                     kSceneHeight - visibleHeight + bottomBand / scale)};
}

// A close-up: the component fills about a third of the picture's height.
inline double CloseUpZoom(double radius) { return std::clamp(kSceneHeight * 0.17 / radius, 1.5, 2.4); }

// The ring round the component on a close-up has this radius in pixels; the
// badge sits on it towards the upper right unless that leaves the picture.
inline double CloseUpRing(double radius, double scale) { return radius * scale + 12; }
inline void CloseUpBadge(double centreX, double centreY, double ring, double& badgeX, double& badgeY) {
  badgeX = centreX + ring * 0.71;
  badgeY = centreY - ring * 0.71;
  if (badgeX > kPictureWidth - 40) badgeX = centreX - ring * 0.71;
  if (badgeY < 70) badgeY = centreY + ring * 0.71;
}

struct NumberedComponent {
  int number;
  double targetX, targetY;  // the component
  double badgeX, badgeY;    // the badge's centre
  double radius;            // the component's size around its point
  const char* name;
};

inline constexpr NumberedComponent kStackMagazine[] = {
    {1, 476, 180, 520, 110, 20, "Snelheidsregelventiel"},
    {2, 440, 200, 392, 226, 46, "Enkelwerkende cilinder"},
    {3, 439, 350, 500, 300, 36, "Product montageplaats"},
    {4, 76, 104, 166, 72, 58, "I/O aansluitpaneel"},
    {5, 84, 344, 50, 296, 52, "4/2 Magneetventiel, bi-stabiel"},
    {6, 585, 344, 620, 296, 46, "4/2 Magneetventiel, monostabiel"},
    {7, 225, 335, 246, 292, 52, "Dubbelwerkende cilinder"},
    {8, 196, 341, 196, 452, 24, "Magnetische eindschakelaar"},
    {9, 50, 213, 104, 182, 30, "3/2 Stuurventiel, handbediend"},
    {10, 420, 415, 420, 456, 60, "Kabelgoot"},
    {11, 325, 150, 262, 110, 70, "Magazijn"},
};

inline constexpr NumberedComponent kConveyor[] = {
    {1, 153, 178, 150, 110, 34, "Optische sensor"},
    {2, 522, 322, 560, 250, 44, "Gelijkstroommotor (DC)"},
    {3, 231, 352, 230, 416, 40, "Relais"},
    {4, 562, 100, 470, 100, 60, "I/O aansluitpaneel"},
    {5, 368, 181, 380, 104, 40, "Elektromagnetische wissel/stopper"},
    {6, 256, 183, 256, 110, 34, "Inductieve sensor"},
    {7, 351, 338, 392, 416, 56, "Glijbaan"},
    {8, 560, 448, 600, 412, 60, "Kabelgoot"},
};

inline constexpr NumberedComponent kHandling[] = {
    {1, 487, 196, 560, 196, 22, "Magnetische eindschakelaar (steker)"},
    {2, 471, 150, 560, 130, 60, "Dubbelwerkende cilinder met geleiding (z)"},
    {3, 471, 320, 560, 300, 40, "Grijper"},
    {4, 473, 394, 560, 376, 40, "Plaats voor producten"},
    {5, 76, 108, 166, 180, 58, "I/O aansluitpaneel"},
    {6, 282, 84, 214, 62, 18, "Snelheidsregelventiel"},
    {7, 300, 112, 318, 56, 80, "Dubbelwerkende cilinder met geleiding (x)"},
    {8, 326, 132, 372, 200, 22, "Magnetische eindschakelaar"},
    {9, 329, 326, 420, 280, 66, "Magneetventielen"},
    {10, 100, 330, 100, 286, 30, "3/2 Stuurventiel, handbediend"},
    {11, 120, 450, 60, 410, 60, "Kabelgoot"},
};

}  // namespace brimlink::overview

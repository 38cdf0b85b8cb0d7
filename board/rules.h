#ifndef RULES_H
#define RULES_H

#include <QSize>

// The numbers of the game's rules, in one place: the board plays by them, the
// recordings check against them, the pads and the window keep pace with them.
namespace Rules {

// The field, in pixels, with the sea below the sky from WaterY down.
constexpr int FieldWidth = 240;
constexpr int FieldHeight = 265;
constexpr int WaterY = 40;
constexpr int WaterFrames = 8;
constexpr double WaterStep = 0.1; // 80 ticks, 1.6 s, for the eight frames

// The game's clock: nothing else measures time.
constexpr int TickInterval = 20; // ms: 50 ticks a second
constexpr float TicksPerSecond = 50.0f;

constexpr float DestroyerStep = 2.0f;
constexpr int DestroyerY = 10;

// Submarines alive at once, and bombs falling at once.
constexpr int MaxSubs = 20;
constexpr int MaxBombs = 3;
constexpr int StartLives = 3;

// The difficulties: easy, normal, hard.
constexpr int Difficulties = 3;
// Their names, as the scoreboard and its players call them.
inline constexpr const char* DifficultyNames[Difficulties] = {"Easy", "Normal", "Hard"};
constexpr int EasyInterval = 4500; // ms to the first launch of an easy game
constexpr float IntervalShrink = 150.0f;

// A launch draws a side, a depth (the submarine's y) from the shallowest to the
// deepest, and a speed of 36 to 55 pixels a second less an eighth of the depth.
constexpr int Directions = 2;
constexpr int ShallowestDepth = 60;
constexpr int DeepestDepth = 249;
constexpr int Depths = DeepestDepth - ShallowestDepth + 1;
constexpr int SlowestBaseSpeed = 36;
constexpr int SpeedDraws = 20;
constexpr int DepthPerSlowerPixel = 8;

constexpr int BombCost = 10;
constexpr int BombStartY = 40;
constexpr float BombSpeed = 30.0f;
// A hit needs more than this overlap on the sides and below...
constexpr float HitOverlap = 1.0f;
// ...and the bomb's lower edge this far below the submarine's top.
constexpr float HitDepth = 5.0f;

// Below a thousandth of a pixel, a scaled edge is whole.
constexpr double PixelFuzz = 0.001;

// What the rules read from the pictures: the destroyer's width bounds its
// travel and places the bombs, the submarine's and the bomb's sizes set
// launches, escapes and hits. A game is only the same game with the same sizes.
struct Sizes {
    QSize destroyer;
    QSize sub;
    QSize bomb;

    bool operator==(const Sizes& o) const { return destroyer == o.destroyer && sub == o.sub && bomb == o.bomb; }
    bool operator!=(const Sizes& o) const { return !(*this == o); }
};

// Those of the pictures the game is built with.
constexpr Sizes BuiltInSizes{QSize(31, 30), QSize(26, 12), QSize(5, 7)};

} // namespace Rules

#endif

// Atlas rectangles that several screens share: the tiled background, the menu cursor,
// the two answers of every yes/no question and the frame they sit in, and the units
// written after each part of a date.
#pragma once
#include "engine/sprite.h"

constexpr SpriteRect kBackgroundTileRect = {404.0f, 596.0f, 436.0f, 628.0f};
constexpr SpriteRect kMenuCursorRect = {438.0f, 596.0f, 449.0f, 617.0f};

// Answer 0 of every two-answer question is no.
constexpr SpriteRect kAnswerNoRect = {642.0f, 480.0f, 700.0f, 499.0f};
constexpr SpriteRect kAnswerYesRect = {702.0f, 480.0f, 741.0f, 498.0f};
constexpr SpriteRect kTwoItemFrameRect = {1250.0f, 1780.0f, 1405.0f, 1874.0f};

constexpr SpriteRect kYearUnit = {838.0f, 340.0f, 858.0f, 360.0f};
constexpr SpriteRect kMonthUnit = {863.0f, 340.0f, 876.0f, 359.0f};
constexpr SpriteRect kDayUnit = {879.0f, 340.0f, 893.0f, 359.0f};
constexpr SpriteRect kHourUnit = {896.0f, 340.0f, 916.0f, 360.0f};
constexpr SpriteRect kMinuteUnit = {920.0f, 340.0f, 940.0f, 360.0f};

// Layout: the fixed geometry of the dial window and the call timing window, as data.
//
// Every rectangle is in twips (1/1440 inch) relative to the window's client area, and is
// turned into device-independent pixels at 15 twips to a pixel. Both front ends (Qt and
// native Windows) place their controls from these tables and never re-lay them out, so
// the windows look the same on both. Nothing here draws or knows a toolkit.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace ui {

constexpr int kTwipsPerPixel = 15;

// Nearest whole pixel; halves round up (201.6 -> 202, 275.2 -> 275).
constexpr int TwipsToPixels(int twips) {
    return (twips * 2 + kTwipsPerPixel) / (2 * kTwipsPerPixel);
}

struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

struct PixelRect {
    int left;
    int top;
    int width;
    int height;
    constexpr bool operator==(const PixelRect&) const = default;
};

constexpr PixelRect ToPixels(TwipRect r) {
    return {TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width), TwipsToPixels(r.height)};
}

struct TwipSize {
    int width;
    int height;
};

// ---- Dial window ("Orvo Dial") ----
namespace dialform {

inline constexpr const char* kTitle = "Orvo Dial";
inline constexpr TwipSize kClient{3024, 4128};

// Number box (editable combo box); tab index 16, after every other control.
inline constexpr TwipRect kText1{120, 120, 2772, 288};
inline constexpr int kText1TabIndex = 16;

struct ButtonSpec {
    const char* name; // control name
    const char* text; // design text
    TwipRect rect;
    int tabIndex;
};
inline constexpr ButtonSpec kDial{"Dial", "Dial", {120, 3600, 492, 372}, 12};
inline constexpr ButtonSpec kClearBtn{"ClearBtn", "Clr", {840, 3600, 492, 372}, 13};
inline constexpr ButtonSpec kCorBtn{"CorBtn", "<-", {1560, 3600, 492, 372}, 14};
inline constexpr ButtonSpec kHelp{"Help", "?", {2280, 3600, 492, 372}, 15};

// Keypad buttons (TTButton array): all the same size.
inline constexpr int kKeyWidth = 852;
inline constexpr int kKeyHeight = 612;

struct KeypadKey {
    int left;            // twips
    int top;             // twips
    char tag;            // the character the key appends
    const char* letters; // letters shown beside the digit ("" for none)
    int tabIndex;
    constexpr TwipRect rect() const { return {left, top, kKeyWidth, kKeyHeight}; }
};

inline constexpr std::size_t kKeyCount = 12;

// Indexed by TTButton index. Note the first two: index 0 is the "2" key, index 1 the "1"
// key; the tab order runs row by row from "1".
inline constexpr std::array<KeypadKey, kKeyCount> kKeypad{{
    {1080, 600, '2', "ABC", 1},
    {120, 600, '1', "", 0},
    {2040, 600, '3', "DEF", 2},
    {120, 1320, '4', "GHI", 3},
    {1080, 1320, '5', "JKL", 4},
    {2040, 1320, '6', "MNO", 5},
    {120, 2040, '7', "PRS", 6},
    {1080, 2040, '8', "TUV", 7},
    {2040, 2040, '9', "WXY", 8},
    {120, 2760, '*', "", 9},
    {1080, 2760, '0', "", 10},
    {2040, 2760, '#', "", 11},
}};

// Size of each keypad picture in pixels at 96 dots per inch (larger than the key; it is
// centred and clipped). A copy drawn at twice the size exists for dense screens.
inline constexpr int kKeyPictureWidth = 71;
inline constexpr int kKeyPictureHeight = 53;

// A keypad picture for a screen of `dpi`: its size there, in proportion to the key, and
// which drawing to scale it from. Above 96 dpi the double-size drawing is the source:
// shrinking it keeps detail that enlarging the small one would have to invent.
struct KeyPictureScale {
    int width;
    int height;
    bool fromDouble;
};
constexpr KeyPictureScale KeyPictureAt(int dpi) {
    // Rounded to the nearest pixel, as the key's own size is.
    const auto scaled = [dpi](int pixels) { return (pixels * dpi + 48) / 96; };
    return {scaled(kKeyPictureWidth), scaled(kKeyPictureHeight), dpi > 96};
}

} // namespace dialform

// ---- Call timing window ("Call Timing") ----
namespace tform {

inline constexpr const char* kTitle = "Call Timing";
inline constexpr TwipSize kClient{3744, 2400};

// Num: "Arial" 12 pt bold, centred, design text "555-1212".
inline constexpr TwipRect kNum{600, 120, 2652, 252};
inline constexpr const char* kNumDesignText = "555-1212";
inline constexpr const char* kNumFontFamily = "Arial";
inline constexpr int kNumFontPoints = 12;

// Timebox: "Digiface" 36 pt regular, pure red, left-aligned, design text "00:00:00".
inline constexpr TwipRect kTimebox{600, 720, 2532, 972};
inline constexpr const char* kTimeboxDesignText = "00:00:00";
inline constexpr const char* kTimeboxFontFamily = "Digiface";
inline constexpr int kTimeboxFontPoints = 36;
inline constexpr unsigned kTimeboxColourRgb = 0xFF0000;

// Command1 (Done): default button, access key Alt+D, tab index 0.
inline constexpr TwipRect kCommand1{1320, 1920, 852, 372};
inline constexpr const char* kCommand1Text = "&Done";

// Timer1: the clock is rewritten every 500 ms.
inline constexpr int kTimerIntervalMs = 500;

} // namespace tform

} // namespace ui

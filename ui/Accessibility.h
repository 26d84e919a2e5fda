// Accessibility: what assistive technology (a screen reader, a voice-control program) is
// told about each control of the two windows, as data both front ends apply: a name as a
// person says it, what the control does, and its role. The keypad keys are named with
// their letters ("2 ABC"), the picture-less "<-" and "?" by what they do. Nothing a
// sighted user sees changes: texts, pictures and layout stay as Layout.h has them.
// What it does not do: no speech, no live announcements (the clock is read when asked).
#pragma once

#include "ui/Layout.h"

#include <string>

namespace ui::a11y {

enum class Role { Window, PushButton, ComboBox, Label };

struct Control {
    const char* id;          // the control's name in Layout.h; the window's own: its class
    const char* name;        // what a screen reader says (of a label: then its text)
    const char* description; // what it does
    Role role;
};

inline constexpr Control kDialWindow{"DialForm", dialform::kTitle, "Dials a telephone number", Role::Window};
inline constexpr Control kNumber{"Text1", "Number",
                                 "The number to dial; its list holds the numbers dialled, newest first",
                                 Role::ComboBox};
inline constexpr Control kDial{"Dial", "Dial", "Dials the number (Enter)", Role::PushButton};
inline constexpr Control kClear{"ClearBtn", "Clear", "Clears the number", Role::PushButton};
inline constexpr Control kBackspace{"CorBtn", "Backspace", "Deletes the last character of the number",
                                    Role::PushButton};
inline constexpr Control kHelp{"Help", "Help", "About this program", Role::PushButton};

inline constexpr Control kTimingWindow{"TForm", tform::kTitle, "Counts the time since the call was placed",
                                       Role::Window};
inline constexpr Control kTimedNumber{"Num", "Number called", "", Role::Label};
inline constexpr Control kElapsed{"Timebox", "Elapsed time",
                                  "Hours, minutes and seconds since the call was placed", Role::Label};
inline constexpr Control kDone{"Command1", "Done", "Closes the call timing window (Alt+D, Enter)",
                               Role::PushButton};

// A keypad key as a person says it: its character, then its letters ("2 ABC", "*").
inline std::string KeyName(const dialform::KeypadKey& key) {
    std::string name(1, key.tag);
    if (*key.letters != '\0') {
        name += ' ';
        name += key.letters;
    }
    return name;
}
inline constexpr const char* kKeyDescription = "Adds this key to the number";

} // namespace ui::a11y

// Resource identifiers shared by the native windows and the resource scripts.
#pragma once

// Program icon: icon group 1 (its one 32x32, 16-colour image has the identifier 30001).
#define IDI_PROGRAM 1

// Keypad pictures, IDB_KEYPAD_FIRST + TTButton index (0 to 11).
#define IDB_KEYPAD_FIRST 200
// The same drawn for 200 %, used from 192 dots per inch on.
#define IDB_KEYPAD_2X_FIRST 220

// The seven-segment TrueType font, raw bytes.
#define IDR_CLOCK_FONT 300

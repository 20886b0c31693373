// The single-line text-input field editor: caret, selection, the editing
// keys, clipboard, mouse placement and drag selection, and the blinking
// caret drawn by inverting pixels.
#pragma once

#include "app/main_window.h"
#include "ui/widgets.h"

namespace domora {

// A secret field shows one bullet (Windows-1252 0x95) for each character.
inline constexpr char kSecretBullet = '\x95';
// What the field shows: its text, or bullets when it is secret.
std::string field_shown_text(const WidgetRecord& field);

// The most characters a field takes (its own maximum, or the fallback).
int field_limit(const WidgetRecord& field, int fallback);

// Applies the key or character of this turn to the field: the caret keys
// (with Ctrl by words, with Shift selecting), deleting, Escape, Ctrl+A, X, C,
// V and Ctrl+Z, which undoes the latest change. Returns true when the key was
// an editing key (the caller then waits for the key to repeat).
bool field_edit_key(WidgetRecord& field, const InputState& in, int limit);
// Inserts a typed character (space and up) when it fits.
bool field_type_character(WidgetRecord& field, int character, int limit);
// Inserts text at the caret over the selection, one character at a time,
// skipping control characters, until the field is full.
void field_paste(WidgetRecord& field, const std::string& text, int limit);

// Puts text in the field as the program's own change (a file chosen in a
// list, say), which Ctrl+Z takes back like the user's.
void field_replace_text(WidgetRecord& field, const std::string& text);
// Overwrites a text before emptying it, so that a secret does not linger in freed memory.
void wipe_text(std::string& text);
// Drops the field's undo states, overwriting their texts (a secret's included).
void field_forget_undo(WidgetRecord& field);

// The character boundary nearest to x (client pixels).
int field_position_at(const WidgetRecord& field, int x);
// Keeps the caret visible by moving the field's first visible character.
void field_scroll_to_caret(WidgetRecord& field);
// Places the caret for a press at the mouse and selects while the button is
// held, scrolling when the mouse leaves the field.
void field_mouse_select(int index);

// Draws the field's text, and for the focused field its selection.
void draw_text_field(WidgetRecord& field, bool focused);
// The caret, inverted: drawing it twice removes it.
void field_toggle_caret(int index);
bool field_caret_shown();
void field_reset_caret();

}  // namespace domora

// The regular-expression component, registered as "VBScript.RegExp", over RE2.
//
// Engine members: "IgnoreCase", "Multiline", "Global" (booleans), "Pattern"
// (text), "Execute"(text) -> match collection, "Replace"(text, replacement) -> text.
// Collection: "Count", "Item"(index). Match: "Value", "FirstIndex", "Length",
// "SubMatches". Group collection: "Count", "Item"(index).
//
// Patterns are ECMAScript's; those RE2 cannot run (backreferences, lookahead)
// make "Execute" and "Replace" fail. Texts are GBK in and out and are matched
// as characters: "." is one whole character and never a line feed, and no match
// starts inside a double-byte character. "FirstIndex" and "Length" count UTF-16
// units, a byte that is no GBK character counting as one. "Replace" understands
// "$1".."$99", "$&", "$`", "$'" and "$$". A text of 4 GiB or more fails "Execute".
#pragma once

namespace qvod {

// Registers the component under "VBScript.RegExp".
void RegisterRegExpComponent();

}  // namespace qvod

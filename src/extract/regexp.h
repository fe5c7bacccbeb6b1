// The regular-expression component, registered as "VBScript.RegExp", over RE2.
//
// Engine members: "IgnoreCase", "Multiline", "Global" (booleans), "Pattern"
// (text), "Execute"(text) -> match collection, "Replace"(text, replacement) -> text.
// Collection: "Count", "Item"(index). Match: "Value", "FirstIndex", "Length",
// "SubMatches". Group collection: "Count", "Item"(index).
#pragma once

namespace qvod {

// Registers the component under "VBScript.RegExp".
void RegisterRegExpComponent();

}  // namespace qvod

#pragma once
// Keeps the window up while assistive technology reads it.

namespace tesmira::ui {

// Qt 6.4 answers a screen reader's request for a child of a scroll area by index without
// checking the index, and the number of children changes whenever a scroll bar appears or
// goes: a request that crosses such a change reads past the list and crashes. The window's
// scroll areas get an accessible interface whose children are their child widgets, a list
// that does not change, with every index checked. Call once, after the application object.
void installAccessibility();

}  // namespace tesmira::ui

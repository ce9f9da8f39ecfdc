#pragma once

namespace tesmira {

// SIGTERM only sets a flag; a run checks it at safe points (between pages and steps) and
// unwinds with TerminationRequested, so that every clean-up runs on the way out.
void install_termination_handler();
// The same for SIGINT, for a program run from a terminal, where Ctrl+C asks it to stop.
void install_interrupt_handler();
bool termination_requested();
void check_termination();  // throws TerminationRequested once SIGTERM has arrived

// Has SIGTERM also call `hook` (one at a time; null for none), from the signal handler: it
// may only touch memory that stays valid and do what is safe in a handler.
void also_on_termination(void (*hook)()) noexcept;

}  // namespace tesmira

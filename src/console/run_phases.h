// The console through the phases of a run, and what the keys and signals
// that interrupt, stop, continue or end a program do in each. One owner on
// each platform sets the console's modes and handles those signals or
// events; the rest of the program only says which phase it is in.
//
// Phase        Ctrl-C                  Ctrl-Z and continuing     ending signals
// kDialogue    as the environment set everything; the console is left alone
// kSummation   ends the summation      erase the status row,     erase the status
//              (interrupt_requested)   the mode from before      row, the mode from
//                                      while stopped, held       before, then end
//                                      again once continued      as by default
// kClosing     ends the program,       as in kSummation          as in kSummation
//              the mode from before
// kKeyWait     a key like any other    the mode from before      the mode from
//              (raw mode)              while stopped, raw        before, then end
//                                      again once continued      as by default
//
// "Held" is the terminal as the summation and the result lines need it: the
// interrupt key discards none of the output on its way, and nothing typed is
// echoed. A program in the background leaves the terminal alone but in the
// key wait, which must read it (job control stops the program until it is
// in the foreground). A signal the environment ignores stays ignored in
// every phase.
#pragma once

#include <chrono>

namespace reihen {

enum class RunPhase { kDialogue, kSummation, kClosing, kKeyWait };

// Moves the console to `phase`, from whichever phase it is in. Returns
// whether the console is in the phase's mode, which the key wait needs and
// cannot have without a terminal or console to read.
bool enter_phase(RunPhase phase);

// Whether Ctrl-C was pressed since the summation began.
bool interrupt_requested();

// Whether the status row is on the screen, for a stop to erase it.
void note_status_row(bool shown);

// How long the program has been stopped since the summation began.
std::chrono::nanoseconds time_stopped();

// True once after each time the program was continued after a stop.
bool continued_since_asked();

}  // namespace reihen

// arguments.h - what a lesson that plots the learner's own function reads
// from outside it: the function and the grid's cells from its command
// line, or, in a browser, from the page around it while it runs.
//
// Every mistake is answered with one sentence that says what is wrong and
// what is taken instead, and exit status 2, as for any command used
// wrongly; whatever it repeats of the input is shown with printable().
#ifndef ARGUMENTS_H
#define ARGUMENTS_H

#include "expression.h"

#include <string>

// Reads a count of cells along each side, a whole number from 1 to most
// written in decimal digits.  Returns false, with why completing "... takes
// " (for example "a whole number of cells from 1 to 400, not \"1e10\""),
// for anything else: a sign, a fraction, an exponent, or a number of any
// size past most (it never wraps).
bool readCells(const std::string& word, int most, int& cells, std::string& why);

// Reads the lesson's own arguments, before the toolkit, so that a mistake
// is told even where there is no display:
//
//   [--cells N | --cells=N] ['f(x, y)'],  --help,  and -- before a
//   function that begins with a dash.
//
// Fills in text and cells where they are given (what they hold otherwise
// is the lesson's default) and leaves in argc and argv only the program's
// name and the toolkit's options (X11's -display and -geometry with their
// values, and its few flags), for glutInit.  --help prints the usage and
// ends the program with status 0.
void readFunctionArguments(int& argc, char** argv, int mostCells, std::string& text, int& cells);

// How a message names the learner's function: in quotes where it is
// short and plain text, else "The function given".
std::string functionName(const std::string& text);

// Reads text as a function into f.  Returns false, with f unchanged and
// the sentence that says where and why in `why`, if it is not one.
bool readFunction(const std::string& text, Expression& f, std::string& why);

// What the terminal says about a plot, which its picture cannot: how many
// of the cells were left out because f has no finite value at one of
// their corners, and which values of f the colour key's ends stand for,
// drawn at which heights (a constant f: its one value, drawn flat in the
// middle).
std::string plotReport(long leftOut, int cells, double lowest, double highest, double lowestDrawn,
                       double highestDrawn);

// Ends the program with the sentence why, on standard error, and status 2.
[[noreturn]] void refuseInput(const std::string& why);

// For a page around the lesson, where the learner types a new function
// into a box while the lesson runs (the web edition's velmor9.html).  The
// lesson hands over how it plots one and how it hands a plot to its
// buffers: plot plots text over cells x cells and returns true, and the
// page then has upload fill the buffers and asks for a frame; or plot
// returns false, and the last surface stays on the screen.  Either way
// message says what the terminal would.  The page starts its form from
// the function and cells the lesson drew first, and takes no more than
// mostCells; it also shows the colour key's end values, which the lesson
// keeps in lowest and highest.  A program without such a page ignores all
// this.
using PlotFunction = bool (*)(const std::string& text, int cells, std::string& message);
void acceptNewFunctions(PlotFunction plot, void (*upload)(), const std::string& text, int cells,
                        int mostCells, const double* lowest, const double* highest);

#endif

// function_page.cpp - the desktop's side of acceptNewFunctions: a lesson
// in a window of its own has no page around it to ask for a new
// function, so there is nothing to keep.  (web/function_page.cpp is the
// browser's.)
#include "arguments.h"

void acceptNewFunctions(PlotFunction, void (*)(), const std::string&, int, int, const double*,
                        const double*)
{
}

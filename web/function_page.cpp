// function_page.cpp - what the page around lesson 9 calls while the
// lesson runs (web/site/function.js): a new function plotted on Enter,
// the message about it, the colour key's end values, and what the form
// starts from.  The page hands
// the grid's cells over as the text it read, from the address or the
// form, so that they are read by the same rule as the command line's.
#include "arguments.h"
#include "expression.h"
#include "modern.h"

#include <string>

static PlotFunction plotFunction = nullptr;
static void (*uploadPlot)() = nullptr;
static std::string firstText;
static int firstCells = 0;
static int mostCells = 0;
static const double* lowestValue = nullptr;
static const double* highestValue = nullptr;
static std::string pageMessage;

void acceptNewFunctions(PlotFunction plot, void (*upload)(), const std::string& text, int cells,
                        int most, const double* lowest, const double* highest)
{
    plotFunction = plot;
    uploadPlot = upload;
    firstText = text;
    firstCells = cells;
    mostCells = most;
    lowestValue = lowest;
    highestValue = highest;
}

// Returns 1 when the function is drawn and 0 when it cannot be, the last
// surface staying on the screen; plotMessage says why either way.  The
// text comes with its count of bytes: one the learner gave may hold a NUL,
// which must be refused as the byte it is, not end the text unseen.
extern "C" int plotNewFunction(const char* text, int textBytes, const char* cellsText)
{
    if (plotFunction == nullptr) {
        pageMessage = "The lesson is not ready for a new function yet; wait for its picture.";
        return 0;
    }
    int cells = 0;
    std::string why;
    if (!readCells(cellsText, mostCells, cells, why)) {
        pageMessage = "The grid takes " + why + ".";
        return 0;
    }
    if (!plotFunction(std::string(text, static_cast<std::size_t>(textBytes)), cells, pageMessage)) {
        return 0;
    }
    uploadPlot();
    glutPostRedisplay();
    return 1;
}

extern "C" const char* plotMessage()
{
    return pageMessage.c_str();
}

extern "C" double lowestOnGrid()
{
    return lowestValue != nullptr ? *lowestValue : 0.0;
}

extern "C" double highestOnGrid()
{
    return highestValue != nullptr ? *highestValue : 0.0;
}

// What the page's form starts from and holds to, asked of the program so
// that the page repeats none of the lesson's own numbers.
extern "C" const char* plotFirstFunction()
{
    return firstText.c_str();
}

extern "C" int plotFirstCells()
{
    return firstCells;
}

extern "C" int plotMostCells()
{
    return mostCells;
}

extern "C" int plotMostCharacters()
{
    return static_cast<int>(Expression::MAX_LENGTH);
}

// arguments.cpp - the command line of a lesson that plots the learner's
// own function.
#include "arguments.h"

#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

// The exit status for arguments that cannot be plotted, as for any
// command used wrongly; a display that cannot show the lesson ends it
// with 1, in modern.cpp.
static constexpr int BAD_INPUT = 2;

bool readCells(const std::string& word, int most, int& cells, std::string& why)
{
    // Digit by digit, stopping as soon as the count passes most, so that
    // no number of any length can wrap round into range.
    long long n = 0;
    bool fits = !word.empty();
    for (const char c : word) {
        if (c < '0' || c > '9') {
            fits = false;
            break;
        }
        n = n * 10 + (c - '0');
        if (n > most) {
            break;
        }
    }
    if (!fits || n < 1 || n > most) {
        why = "a whole number of cells from 1 to " + std::to_string(most) + ", not \"" +
              printable(word, 20) + "\"";
        return false;
    }
    cells = static_cast<int>(n);
    return true;
}

std::string functionName(const std::string& text)
{
    bool quotable = text.size() <= 80;
    for (const char c : text) {
        quotable = quotable && c >= ' ' && c <= '~';
    }
    return quotable ? "The function \"" + text + "\"" : "The function given";
}

bool readFunction(const std::string& text, Expression& f, std::string& why)
{
    ExpressionError error;
    if (f.read(text, error)) {
        return true;
    }
    why = functionName(text) + " cannot be plotted: " +
          (error.column > 0 ? "at column " + std::to_string(error.column) + ", " : "") +
          error.message + ".";
    return false;
}

std::string plotReport(long leftOut, int cells, double lowest, double highest, double lowestDrawn,
                       double highestDrawn)
{
    std::string report;
    if (leftOut > 0) {
        report = std::to_string(leftOut) + " of " + std::to_string(cells * cells) +
                 " cells are left out: f has no finite value at one of their corners.\n";
    }
    char line[400];
    if (lowest == highest) {
        std::snprintf(line, sizeof line,
                      "f is %.6g all over the grid: one colour, drawn flat at z = %g.\n", lowest,
                      (lowestDrawn + highestDrawn) / 2.0);
    } else {
        std::snprintf(line, sizeof line,
                      "Colour key (the strip on the right): dark purple at the bottom is the "
                      "lowest value on the grid, f = %.6g; yellow at the top the highest, "
                      "f = %.6g.  Heights are scaled to fit: f = %.6g is drawn at z = %g and "
                      "f = %.6g at z = %g.\n",
                      lowest, highest, lowest, lowestDrawn, highest, highestDrawn);
    }
    return report + line;
}

void refuseInput(const std::string& why)
{
    std::fprintf(stderr, "%s\n", why.c_str());
    std::exit(BAD_INPUT);
}

void readFunctionArguments(int& argc, char** argv, int mostCells, std::string& text, int& cells)
{
    static const char* const WITH_VALUE[] = {"-display", "-geometry"};
    static const char* const FLAGS[] = {"-direct", "-indirect", "-iconic", "-gldebug", "-sync"};
    const char* slash = argc > 0 ? std::strrchr(argv[0], '/') : nullptr;
    const std::string program = slash != nullptr ? slash + 1 : argc > 0 ? argv[0] : "velmor";
    const std::string usage = "usage: " + program + " [--cells N] ['f(x, y)'], for example " +
                              program + " --cells 60 'sin(x) * cos(y)'";
    bool haveText = false;
    bool optionsEnded = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const bool option = !optionsEnded && word.size() > 1 && word[0] == '-';
        if (option &&
            std::find(std::begin(WITH_VALUE), std::end(WITH_VALUE), word) != std::end(WITH_VALUE)) {
            argv[kept++] = argv[i];
            if (i + 1 < argc) {
                argv[kept++] = argv[++i];
            }
        } else if (option &&
                   std::find(std::begin(FLAGS), std::end(FLAGS), word) != std::end(FLAGS)) {
            argv[kept++] = argv[i];
        } else if (option && (word == "--help" || word == "-h")) {
            std::printf("%s\n", usage.c_str());
            std::exit(EXIT_SUCCESS);
        } else if (option && word == "--") {
            optionsEnded = true;
        } else if (option && (word == "--cells" || word.rfind("--cells=", 0) == 0)) {
            const std::string value = word == "--cells" ? (i + 1 < argc ? argv[++i] : "")
                                                        : word.substr(std::strlen("--cells="));
            std::string why;
            if (!readCells(value, mostCells, cells, why)) {
                refuseInput("--cells takes " + why + "; " + usage + ".");
            }
        } else if (option && word.rfind("--", 0) == 0) {
            refuseInput(program + " has no option \"" + printable(word, 40) + "\"; " + usage + ".");
        } else if (haveText) {
            refuseInput(program + " plots one function, given as one argument in quotes; " + usage +
                        ".");
        } else {
            text = word;
            haveText = true;
        }
    }
    argv[kept] = nullptr;
    argc = kept;
}
